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

int init(DirectoryStore &mailbox, const Args &args)
{
    const std::string call = args.option("--call");
    const std::string path = args.option("--path");
    if (call.empty() || path.empty())
        return usage();
    const fs::path folder = fs::absolute(path);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path ini = folder / "Zeno.ini";
    // Without --beacon an existing Zeno.ini is the host's own and stays.
    if (args.has("--beacon") || !fs::exists(ini)) {
        std::ofstream out(ini, std::ios::binary | std::ios::trunc);
        out << "[APRS]\r\n" << unescape(args.option("--beacon")) << "\r\n";
        if (!out) {
            std::fprintf(stderr, "zeno-host: could not write %s\n", ini.string().c_str());
            return 1;
        }
    }
    const bool ok = store(mailbox, "MyCall", "String", unescape(call)) &&
                    store(mailbox, "Path", "String", folder.string()) &&
                    store(mailbox, "Status", "String", "Zeno Server Active!");
    return ok ? 0 : 1;
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
    if (args.words.size() != 1)
        return usage();
    const long every = std::strtol(args.option("--every", "1500").c_str(), nullptr, 10);
    if (every < 0)
        return usage();
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
