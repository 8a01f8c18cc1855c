#pragma once

// The watch on the gateway's commands: the Command folder under inotify, and
// the "watch" command that prints each command as it is written.

#include "hostvalues.h"

#include <deque>
#include <filesystem>
#include <string>

namespace zenohost {

#ifdef __linux__
// The Command folder under inotify. Values are renamed into place (a plain
// write closes the file); if the folder goes away, it is made again and
// watched anew.
class CommandWatch
{
public:
    explicit CommandWatch(std::filesystem::path folder);
    bool add();
    // Waits for changes, then takes every one already queued, so that a
    // command can be told whether later ones are waiting behind it.
    bool wait(std::deque<std::string> &names);
    const std::filesystem::path &folder() const { return folder_; }
    int fd() const { return fd_; }

    // Whether a later command waits among the names still to be taken.
    static bool commandWaits(const std::deque<std::string> &names);

private:
    bool readEvents(std::deque<std::string> &names, bool block);

    std::filesystem::path folder_;
    int fd_ = -1;
};
#endif

// zeno-host watch: runs until it fails; its exit status.
int watch(DirectoryStore &mailbox);

} // namespace zenohost
