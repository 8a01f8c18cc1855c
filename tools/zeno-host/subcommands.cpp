#include "subcommands.h"

#include "escape.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace zenohost {

namespace {

// A station's call: one to six letters and digits with at least one digit,
// upper case, and an SSID of 1 to 15 if any.
bool callSign(const std::string &call)
{
    const std::size_t dash = call.find('-');
    const std::string base = call.substr(0, dash);
    if (base.empty() || base.size() > 6 ||
        base.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") != std::string::npos ||
        base.find_first_of("0123456789") == std::string::npos)
        return false;
    if (dash == std::string::npos)
        return true;
    const std::string ssid = call.substr(dash + 1);
    return !ssid.empty() && ssid.size() <= 2 && ssid[0] != '0' &&
           ssid.find_first_not_of("0123456789") == std::string::npos && std::stoi(ssid) <= 15;
}

} // namespace

int init(DirectoryStore &mailbox, const Args &args)
{
    const std::string call = args.option("--call");
    const std::string path = args.option("--path");
    if (call.empty() || path.empty())
        return usage("init needs --call and --path");
    if (!callSign(call))
        return usage("\"" + call +
                     "\" is no call sign: up to six capital letters and digits, one digit at "
                     "least, and -1 to -15 if any");
    const fs::path folder = fs::absolute(path);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path ini = folder / "Zeno.ini";
    // An existing Zeno.ini is the host's own: replaced only when asked twice.
    const bool exists = fs::exists(ini);
    if (exists && args.has("--beacon") && !args.force) {
        std::fprintf(stderr, "zeno-host: %s exists; --force replaces it with the --beacon given\n",
                     ini.string().c_str());
        return 1;
    }
    if (!exists || args.has("--beacon")) {
        std::ofstream out(ini, std::ios::binary | std::ios::trunc);
        out << "[APRS]\r\n" << unescape(args.option("--beacon")) << "\r\n";
        if (!out) {
            std::fprintf(stderr, "zeno-host: could not write %s\n", ini.string().c_str());
            return 1;
        }
    }
    if (!store(mailbox, "MyCall", "String", call) ||
        !store(mailbox, "Path", "String", folder.string()) ||
        !store(mailbox, "Status", "String", "Zeno Server Active!"))
        return 1;
    std::printf(
        "zeno-host: %s %s; mailbox %s: MyCall %s, Path %s, Status \"Zeno Server Active!\"\n",
        exists && !args.has("--beacon") ? "kept" : "wrote", ini.string().c_str(),
        mailbox.folder().string().c_str(), call.c_str(), folder.string().c_str());
    return 0;
}

int setValue(DirectoryStore &mailbox, const std::string &key, const std::string &name,
             const std::string &text)
{
    return store(mailbox, key, name, unescape(text)) ? 0 : 1;
}

int get(const DirectoryStore &mailbox, const std::string &key, const std::string &name)
{
    const auto v = mailbox.get(kestrel::mailbox::kCurrentUser, keyPath(key), name);
    if (!v)
        return 1;
    std::fwrite(v->data(), 1, v->size(), stdout);
    return 0;
}

int replay(DirectoryStore &mailbox, const Args &args)
{
    const long every = std::strtol(args.option("--every", "1500").c_str(), nullptr, 10);
    do {
        std::ifstream in(args.words[0], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "zeno-host: cannot read %s\n", args.words[0].c_str());
            return 1;
        }
        std::string line;
        bool first = true;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            if (!first)
                std::this_thread::sleep_for(std::chrono::milliseconds(every));
            first = false;
            if (!store(mailbox, "RXData", "String", unescape(line)))
                return 1;
        }
        if (args.loop)
            std::this_thread::sleep_for(std::chrono::milliseconds(every));
    } while (args.loop);
    return 0;
}

} // namespace zenohost
