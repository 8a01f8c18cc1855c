// Fuzz target for the ISS look-up page: whatever the service sends, the
// position taken from it is one the station can send and measure, or none
// with a reason.

#include "aprs/issobject.h"
#include "fuzzcheck.h"

#include <cmath>
#include <cstdint>

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QString why;
    const auto p = iss::positionFromPage(input, &why);
    if (!p) {
        if (why.isEmpty())
            fail("a page was refused without a reason", input);
        return 0;
    }
    if (p->latitude.size() != 8 || p->longitude.size() != 9)
        fail("a position of the wrong width was taken", input);
    const QString own = QStringLiteral("4903.50N/07201.75W");
    const auto d = position::distance(own, *p);
    const auto e = position::elevation(own, *p);
    if (!d || !e || !std::isfinite(d->km) || *e < -90 || *e > 90)
        fail("a position taken cannot be measured", input);
    if (!iss::objectText(*p, QTime(12, 0)).startsWith(QStringLiteral(";ISS      *120000h")))
        fail("the object does not start with its name and time", input);
    return 0;
}
