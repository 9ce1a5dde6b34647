#include "platform/run_lock.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "app/cleaning_session.h"

namespace {

// A name of this test's own, in the namespace the program uses.
std::wstring TestLockName(const wchar_t* test) {
    return L"Global\\TallowbriskCleanerTest." + std::to_wstring(GetCurrentProcessId()) + L"." + test;
}

// Another run, on a thread of its own (a mutex belongs to a thread, and the same thread could
// take it again): holds the lock from construction until release(), or, with `abandon`, ends
// its thread holding it, as a killed process does.
class OtherRun {
public:
    explicit OtherRun(const std::wstring& name, bool abandon = false) {
        thread_ = std::thread([this, name, abandon] {
            if (abandon) {
                const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
                taken_ = WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0;
                SetEvent(ready_.get());
                return;  // the handle stays open, so the mutex lives on, abandoned
            }
            RunLock lock(name.c_str());
            taken_ = lock.acquire(0);
            SetEvent(ready_.get());
            WaitForSingleObject(done_.get(), INFINITE);
        });
        WaitForSingleObject(ready_.get(), INFINITE);
        if (abandon) {
            thread_.join();
        }
    }
    ~OtherRun() { release(); }
    void release() {
        SetEvent(done_.get());
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool taken() const { return taken_; }

private:
    unique_handle ready_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    unique_handle done_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool taken_ = false;
    std::thread thread_;
};

TEST(RunLock, AFreeLockIsTakenAtOnceAndHeldUntilDestroyed) {
    const std::wstring name = TestLockName(L"free");
    {
        RunLock lock(name.c_str());
        EXPECT_FALSE(lock.held());
        EXPECT_TRUE(lock.acquire(0));
        EXPECT_TRUE(lock.held());
        OtherRun other(name);
        EXPECT_FALSE(other.taken()) << "a second run while the first holds it";
    }
    OtherRun after(name);
    EXPECT_TRUE(after.taken()) << "released with the lock";
}

TEST(RunLock, WhileAnotherRunHoldsItOnlyAWaitThatOutlastsItSucceeds) {
    const std::wstring name = TestLockName(L"held");
    OtherRun other(name);
    ASSERT_TRUE(other.taken());
    RunLock lock(name.c_str());
    EXPECT_FALSE(lock.acquire(0));
    const DWORD start = GetTickCount();
    EXPECT_FALSE(lock.acquire(300));
    EXPECT_GE(GetTickCount() - start, 250u) << "the bounded wait waits";
    EXPECT_FALSE(lock.held());

    std::thread releaser([&other] {
        Sleep(200);
        other.release();
    });
    EXPECT_TRUE(lock.acquire(30000)) << "the wait ends when the other run does";
    EXPECT_TRUE(lock.held());
    releaser.join();
}

TEST(RunLock, ALockAbandonedByARunThatDiedCountsAsFree) {
    const std::wstring name = TestLockName(L"abandoned");
    OtherRun killed(name, /*abandon=*/true);
    ASSERT_TRUE(killed.taken());
    RunLock lock(name.c_str());
    EXPECT_TRUE(lock.acquire(0));
    OtherRun next(name);
    EXPECT_FALSE(next.taken()) << "and it is held anew";
}

TEST(RunLock, ANameThatIsNoMutexHoldsNoRunBack) {
    // Another kind of object under the name: the runs can't be kept apart, and none is stopped.
    const std::wstring name = TestLockName(L"event");
    unique_handle event(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(event);
    RunLock lock(name.c_str());
    EXPECT_TRUE(lock.acquire(0));
}

TEST(RunCleaningSession, WhileAnotherRunCleansItSaysSoAndCleansNothing) {
    // The real lock: the session takes it under its one name.
    OtherRun other(kRunLockName);
    ASSERT_TRUE(other.taken());
    struct Platform : SessionPlatform {
        void runCleaners(OperationsLogger&, ProgressCleaner&, RegistryBackup&) override { ran = true; }
        void showMessage(HWND, const std::wstring& text) override { messages.push_back(text); }
        bool ran = false;
        std::vector<std::wstring> messages;
    } platform;
    EXPECT_EQ(RunCleaningSession(nullptr, platform), 1);
    EXPECT_FALSE(platform.ran);
    EXPECT_EQ(platform.messages, std::vector<std::wstring>{kAlreadyRunningMessage});
    EXPECT_FALSE(CleaningSessionRunning());
}

}  // namespace
