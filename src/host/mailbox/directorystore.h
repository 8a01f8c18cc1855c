#pragma once

#include "host/mailbox/store.h"

#include <cstddef>
#include <filesystem>

namespace kestrel::mailbox {

// The registry as a folder tree: <root folder>/<root>/<key parts>/<name>
// holds exactly the bytes of one value. Writes go to a temporary file in the
// same folder that is then renamed into place.
class DirectoryStore : public Store
{
public:
    explicit DirectoryStore(std::filesystem::path folder);

    // A value larger than this is read only up to this size: no frame, call
    // sign or command comes anywhere near it.
    static constexpr std::size_t kMaxValueBytes = 1 << 20;

    std::optional<std::string> get(const std::string &root, const std::string &key,
                                   const std::string &name) const override;
    bool set(const std::string &root, const std::string &key, const std::string &name,
             const std::string &value) override;
    std::string problem() const override;

    // Where a value lives; key parts are separated by backslashes.
    std::filesystem::path valuePath(const std::string &root, const std::string &key,
                                    const std::string &name) const;
    const std::filesystem::path &folder() const { return folder_; }

    // The folder named by --mailbox, else $ZENO_MAILBOX, else ~/.zeno/registry.
    static std::filesystem::path defaultFolder(const std::string &fromCommandLine);

    // Temporary files start with this; readers of the folder skip them.
    static constexpr const char *kTempPrefix = ".tmp-";

private:
    std::filesystem::path folder_;
};

} // namespace kestrel::mailbox
