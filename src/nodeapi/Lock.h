// Lockable objects: an embedded recursive lock and a scoped guard for it.
#pragma once

#include <mutex>

namespace NodeApi {

// Locking policy: one recursive lock, so that node-to-node calls made while
// holding it may take it again on the same thread.
struct MultiThreadingModel {
    using Lock_t = std::recursive_mutex;
};

template <class Host, class Model = MultiThreadingModel>
class LockableObject {
public:
    LockableObject() = default;
    LockableObject(const LockableObject&) = delete;
    LockableObject& operator=(const LockableObject&) = delete;

    void Lock() const { m_Lock.lock(); }
    void Unlock() const { m_Lock.unlock(); }

    // Locks in its constructor, unlocks in its destructor (also when an
    // exception passes).
    class AutoLock {
    public:
        explicit AutoLock(const LockableObject& object) : m_Object(object) { m_Object.Lock(); }
        ~AutoLock() { m_Object.Unlock(); }
        AutoLock(const AutoLock&) = delete;
        AutoLock& operator=(const AutoLock&) = delete;

    private:
        const LockableObject& m_Object;
    };

protected:
    ~LockableObject() = default;

private:
    mutable typename Model::Lock_t m_Lock;
};

} // namespace NodeApi
