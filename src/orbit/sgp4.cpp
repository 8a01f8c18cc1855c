#include "orbit/sgp4.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrel::orbit {

namespace {

using std::numbers::pi;
constexpr double twoPi = 2 * pi;
constexpr double deg = pi / 180;
constexpr double x2o3 = 2.0 / 3.0;

// WGS-72, the constants the element sets are fitted with.
constexpr double mu = 398600.8; // km³/s²
constexpr double radiusEarthKm = 6378.135;
constexpr double j2 = 0.001082616;
constexpr double j3 = -0.00000253881;
constexpr double j4 = -0.00000165597;
constexpr double j3oj2 = j3 / j2;
// sqrt(mu) in earth radii^1.5 per minute: the model works in earth radii and minutes.
const double xke = 60.0 / std::sqrt(radiusEarthKm * radiusEarthKm * radiusEarthKm / mu);
const double vkmpersec = radiusEarthKm * xke / 60.0;

// The density function's reference altitudes: q0 = 120 km, s = 78 km.
constexpr double ss = 78.0 / radiusEarthKm + 1.0;
constexpr double qzms2t = (120.0 - 78.0) / radiusEarthKm * (120.0 - 78.0) / radiusEarthKm *
                          (120.0 - 78.0) / radiusEarthKm * (120.0 - 78.0) / radiusEarthKm;

double mod2pi(double x)
{
    return std::fmod(x, twoPi);
}

} // namespace

double recoveredMeanMotion(const Elements &e)
{
    // Brouwer's mean motion from Kozai's, one step of the usual iteration.
    const double noKozai = e.meanMotion * twoPi / 1440.0;
    const double cosio = std::cos(e.inclinationDeg * deg);
    const double omeosq = 1.0 - e.eccentricity * e.eccentricity;
    const double ak = std::pow(xke / noKozai, x2o3);
    const double d1 = 0.75 * j2 * (3.0 * cosio * cosio - 1.0) / (std::sqrt(omeosq) * omeosq);
    double del = d1 / (ak * ak);
    const double adel = ak * (1.0 - del * del - del * (1.0 / 3.0 + 134.0 * del * del / 81.0));
    del = d1 / (adel * adel);
    return noKozai / (1.0 + del);
}

Propagator::Propagator(const Elements &e) : elements_(e)
{
    Terms &k = k_;
    k.inclo = e.inclinationDeg * deg;
    k.nodeo = e.raanDeg * deg;
    k.ecco = e.eccentricity;
    k.argpo = e.argPerigeeDeg * deg;
    k.mo = e.meanAnomalyDeg * deg;
    k.bstar = e.bstar;
    if (!(e.meanMotion > 0) || !(k.ecco >= 0 && k.ecco < 1))
        return;
    k.noUnkozai = recoveredMeanMotion(e);
    if (twoPi / k.noUnkozai > nearEarthPeriodMinutes)
        return;

    const double eccsq = k.ecco * k.ecco;
    const double omeosq = 1.0 - eccsq;
    const double rteosq = std::sqrt(omeosq);
    const double cosio = std::cos(k.inclo);
    const double sinio = std::sin(k.inclo);
    const double cosio2 = cosio * cosio;
    const double cosio4 = cosio2 * cosio2;
    const double ao = std::pow(xke / k.noUnkozai, x2o3); // semi-major axis, earth radii
    const double po = ao * omeosq;
    const double posq = po * po;
    const double rp = ao * (1.0 - k.ecco); // perigee radius
    const double con42 = 1.0 - 5.0 * cosio2;
    k.con41 = 3.0 * cosio2 - 1.0;
    k.x1mth2 = 1.0 - cosio2;
    k.x7thm1 = 7.0 * cosio2 - 1.0;
    k.simple = rp < 220.0 / radiusEarthKm + 1.0;

    // A low perigee moves the density function's s down with it.
    double sfour = ss;
    double qzms24 = qzms2t;
    const double perigeeKm = (rp - 1.0) * radiusEarthKm;
    if (perigeeKm < 156.0) {
        sfour = perigeeKm < 98.0 ? 20.0 : perigeeKm - 78.0;
        qzms24 = std::pow((120.0 - sfour) / radiusEarthKm, 4);
        sfour = sfour / radiusEarthKm + 1.0;
    }

    const double pinvsq = 1.0 / posq;
    const double tsi = 1.0 / (ao - sfour);
    k.eta = ao * k.ecco * tsi;
    const double etasq = k.eta * k.eta;
    const double eeta = k.ecco * k.eta;
    const double psisq = std::fabs(1.0 - etasq);
    const double coef = qzms24 * std::pow(tsi, 4);
    const double coef1 = coef / std::pow(psisq, 3.5);
    const double cc2 = coef1 * k.noUnkozai *
                       (ao * (1.0 + 1.5 * etasq + eeta * (4.0 + etasq)) +
                        0.375 * j2 * tsi / psisq * k.con41 * (8.0 + 3.0 * etasq * (8.0 + etasq)));
    k.cc1 = k.bstar * cc2;
    const double cc3 =
        k.ecco > 1.0e-4 ? -2.0 * coef * tsi * j3oj2 * k.noUnkozai * sinio / k.ecco : 0.0;
    k.cc4 =
        2.0 * k.noUnkozai * coef1 * ao * omeosq *
        (k.eta * (2.0 + 0.5 * etasq) + k.ecco * (0.5 + 2.0 * etasq) -
         j2 * tsi / (ao * psisq) *
             (-3.0 * k.con41 * (1.0 - 2.0 * eeta + etasq * (1.5 - 0.5 * eeta)) +
              0.75 * k.x1mth2 * (2.0 * etasq - eeta * (1.0 + etasq)) * std::cos(2.0 * k.argpo)));
    k.cc5 = 2.0 * coef1 * ao * omeosq * (1.0 + 2.75 * (etasq + eeta) + eeta * etasq);

    // Secular rates of the mean anomaly, perigee and node from J2 and J4.
    const double temp1 = 1.5 * j2 * pinvsq * k.noUnkozai;
    const double temp2 = 0.5 * temp1 * j2 * pinvsq;
    const double temp3 = -0.46875 * j4 * pinvsq * pinvsq * k.noUnkozai;
    k.mdot = k.noUnkozai + 0.5 * temp1 * rteosq * k.con41 +
             0.0625 * temp2 * rteosq * (13.0 - 78.0 * cosio2 + 137.0 * cosio4);
    k.argpdot = -0.5 * temp1 * con42 + 0.0625 * temp2 * (7.0 - 114.0 * cosio2 + 395.0 * cosio4) +
                temp3 * (3.0 - 36.0 * cosio2 + 49.0 * cosio4);
    const double xhdot1 = -temp1 * cosio;
    k.nodedot =
        xhdot1 + (0.5 * temp2 * (4.0 - 19.0 * cosio2) + 2.0 * temp3 * (3.0 - 7.0 * cosio2)) * cosio;

    // Drag terms.
    k.omgcof = k.bstar * cc3 * std::cos(k.argpo);
    k.xmcof = k.ecco > 1.0e-4 ? -x2o3 * coef * k.bstar / eeta : 0.0;
    k.nodecf = 3.5 * omeosq * xhdot1 * k.cc1;
    k.t2cof = 1.5 * k.cc1;
    // Long-period terms from J3; the divisor kept off zero at 180° inclination.
    const double onePlusCos = std::fabs(cosio + 1.0) > 1.5e-12 ? 1.0 + cosio : 1.5e-12;
    k.xlcof = -0.25 * j3oj2 * sinio * (3.0 + 5.0 * cosio) / onePlusCos;
    k.aycof = -0.5 * j3oj2 * sinio;
    k.delmo = std::pow(1.0 + k.eta * std::cos(k.mo), 3);
    k.sinmao = std::sin(k.mo);

    if (!k.simple) {
        const double cc1sq = k.cc1 * k.cc1;
        k.d2 = 4.0 * ao * tsi * cc1sq;
        const double temp = k.d2 * tsi * k.cc1 / 3.0;
        k.d3 = (17.0 * ao + sfour) * temp;
        k.d4 = 0.5 * temp * ao * tsi * (221.0 * ao + 31.0 * sfour) * k.cc1;
        k.t3cof = k.d2 + 2.0 * cc1sq;
        k.t4cof = 0.25 * (3.0 * k.d3 + k.cc1 * (12.0 * k.d2 + 10.0 * cc1sq));
        k.t5cof = 0.2 * (3.0 * k.d4 + 12.0 * k.cc1 * k.d3 + 6.0 * k.d2 * k.d2 +
                         15.0 * cc1sq * (2.0 * k.d2 + cc1sq));
    }
    k.usable = true;
}

std::optional<State> Propagator::at(double unixSeconds) const
{
    const Terms &k = k_;
    if (!k.usable)
        return std::nullopt;
    const double t = (unixSeconds - elements_.epochUnix) / 60.0; // minutes since epoch

    // Secular gravity and drag.
    const double xmdf = k.mo + k.mdot * t;
    const double argpdf = k.argpo + k.argpdot * t;
    const double nodedf = k.nodeo + k.nodedot * t;
    const double t2 = t * t;
    double argpm = argpdf;
    double mm = xmdf;
    double nodem = nodedf + k.nodecf * t2;
    double tempa = 1.0 - k.cc1 * t;
    double tempe = k.bstar * k.cc4 * t;
    double templ = k.t2cof * t2;
    if (!k.simple) {
        const double delomg = k.omgcof * t;
        const double delm = k.xmcof * (std::pow(1.0 + k.eta * std::cos(xmdf), 3) - k.delmo);
        mm = xmdf + delomg + delm;
        argpm = argpdf - delomg - delm;
        const double t3 = t2 * t;
        const double t4 = t3 * t;
        tempa -= k.d2 * t2 + k.d3 * t3 + k.d4 * t4;
        tempe += k.bstar * k.cc5 * (std::sin(mm) - k.sinmao);
        templ += k.t3cof * t3 + t4 * (k.t4cof + t * k.t5cof);
    }

    const double am = std::pow(xke / k.noUnkozai, x2o3) * tempa * tempa;
    const double nm = xke / std::pow(am, 1.5);
    double em = k.ecco - tempe;
    if (!(em < 1.0 && em >= -0.001) || !(am > 0))
        return std::nullopt;
    em = std::max(em, 1.0e-6);
    mm += k.noUnkozai * templ;
    const double xlm = mod2pi(mm + argpm + nodem);
    nodem = mod2pi(nodem);
    argpm = mod2pi(argpm);
    mm = mod2pi(xlm - argpm - nodem);

    // Long-period periodics.
    const double sinip = std::sin(k.inclo);
    const double cosip = std::cos(k.inclo);
    const double axnl = em * std::cos(argpm);
    double temp = 1.0 / (am * (1.0 - em * em));
    const double aynl = em * std::sin(argpm) + temp * k.aycof;
    const double xl = mm + argpm + nodem + temp * k.xlcof * axnl;

    // Kepler's equation for E + ω, steps held to 0.95 rad.
    const double u = mod2pi(xl - nodem);
    double eo1 = u;
    double sineo1 = 0, coseo1 = 0;
    double tem5 = 9999.9;
    for (int ktr = 1; std::fabs(tem5) >= 1.0e-12 && ktr <= 10; ++ktr) {
        sineo1 = std::sin(eo1);
        coseo1 = std::cos(eo1);
        tem5 = (u - aynl * coseo1 + axnl * sineo1 - eo1) / (1.0 - coseo1 * axnl - sineo1 * aynl);
        tem5 = std::clamp(tem5, -0.95, 0.95);
        eo1 += tem5;
    }

    // Short-period periodics.
    const double ecose = axnl * coseo1 + aynl * sineo1;
    const double esine = axnl * sineo1 - aynl * coseo1;
    const double el2 = axnl * axnl + aynl * aynl;
    const double pl = am * (1.0 - el2);
    if (pl < 0.0)
        return std::nullopt;
    const double rl = am * (1.0 - ecose);
    const double rdotl = std::sqrt(am) * esine / rl;
    const double rvdotl = std::sqrt(pl) / rl;
    const double betal = std::sqrt(1.0 - el2);
    temp = esine / (1.0 + betal);
    const double sinu = am / rl * (sineo1 - aynl - axnl * temp);
    const double cosu = am / rl * (coseo1 - axnl + aynl * temp);
    double su = std::atan2(sinu, cosu);
    const double sin2u = (cosu + cosu) * sinu;
    const double cos2u = 1.0 - 2.0 * sinu * sinu;
    temp = 1.0 / pl;
    const double temp1 = 0.5 * j2 * temp;
    const double temp2 = temp1 * temp;

    const double mrt = rl * (1.0 - 1.5 * temp2 * betal * k.con41) + 0.5 * temp1 * k.x1mth2 * cos2u;
    su -= 0.25 * temp2 * k.x7thm1 * sin2u;
    const double xnode = nodem + 1.5 * temp2 * cosip * sin2u;
    const double xinc = k.inclo + 1.5 * temp2 * cosip * sinip * cos2u;
    const double mvt = rdotl - nm * temp1 * k.x1mth2 * sin2u / xke;
    const double rvdot = rvdotl + nm * temp1 * (k.x1mth2 * cos2u + 1.5 * k.con41) / xke;
    if (mrt < 1.0) // under the earth's surface: decayed
        return std::nullopt;

    // Orientation vectors, then position and velocity.
    const double sinsu = std::sin(su), cossu = std::cos(su);
    const double snod = std::sin(xnode), cnod = std::cos(xnode);
    const double sini = std::sin(xinc), cosi = std::cos(xinc);
    const double xmx = -snod * cosi;
    const double xmy = cnod * cosi;
    const Vec3 uv{xmx * sinsu + cnod * cossu, xmy * sinsu + snod * cossu, sini * sinsu};
    const Vec3 vv{xmx * cossu - cnod * sinsu, xmy * cossu - snod * sinsu, sini * cossu};
    State s;
    for (int i = 0; i < 3; ++i) {
        s.positionKm[i] = mrt * uv[i] * radiusEarthKm;
        s.velocityKmS[i] = (mvt * uv[i] + rvdot * vv[i]) * vkmpersec;
    }
    return s;
}

} // namespace kestrel::orbit
