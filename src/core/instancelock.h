#pragma once

#include <QString>

namespace kestrel {

// One gateway per program folder: two would gate every frame twice and
// write over each other's lists. The lock is the kernel's (on the folder
// itself, so nothing is written there), and goes with the process however
// that ends.
class InstanceLock
{
public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;
    ~InstanceLock();

    enum class Outcome
    {
        Taken,
        HeldElsewhere, // another process holds it
        Unavailable    // the folder cannot be opened; start-up will say why
    };
    Outcome take(const QString &folder);

private:
    void *handle_ = nullptr; // Windows: the mutex
    int fd_ = -1;            // elsewhere: the folder, open and locked
};

} // namespace kestrel
