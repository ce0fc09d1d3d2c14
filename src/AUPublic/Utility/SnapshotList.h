// SnapshotList<T>: a list that the host's main thread changes while the render
// thread reads it (render notifications, property listeners). A change builds a
// new list and swaps it in, so a reader never waits, locks or allocates. A
// replaced list is freed by a later change, or the destructor, once no reader is
// inside any list: never on the render thread, never under a reader's feet
// (also when a listener changes the list while it is being called).
#pragma once
#include <atomic>
#include <memory>
#include <vector>

template <class T>
class SnapshotList {
public:
    SnapshotList() : mCurrent(new std::vector<T>) {}
    ~SnapshotList() {
        delete mCurrent.load();
        for (const std::vector<T>* list : mRetired) delete list;
    }
    SnapshotList(const SnapshotList&) = delete;
    SnapshotList& operator=(const SnapshotList&) = delete;

    // Calls read(list) with the list as it is now; any thread.
    template <class Read>
    void read(Read&& read) const {
        struct Counted {
            std::atomic<int>& readers;
            explicit Counted(std::atomic<int>& r) : readers(r) { readers.fetch_add(1); }
            ~Counted() { readers.fetch_sub(1); }
        } counted(mReaders);  // also when a listener's exception passes through
        read(*mCurrent.load());
    }

    // Calls edit(copy) and makes the copy the list; one writer at a time.
    template <class Edit>
    void change(Edit&& edit) {
        auto next = std::make_unique<std::vector<T>>(*mCurrent.load());
        edit(*next);
        mRetired.reserve(mRetired.size() + 1);  // nothing after the swap may fail
        mRetired.push_back(mCurrent.exchange(next.release()));
        // A reader counted here may still hold a retired list; one that starts
        // after this load sees the new list (both sides are sequentially consistent).
        if (mReaders.load() != 0) return;
        for (const std::vector<T>* list : mRetired) delete list;
        mRetired.clear();
    }

private:
    std::atomic<std::vector<T>*> mCurrent;
    mutable std::atomic<int> mReaders{0};
    std::vector<const std::vector<T>*> mRetired;
};
