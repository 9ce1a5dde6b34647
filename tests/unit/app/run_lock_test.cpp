#include "platform/run_lock.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/cleaning_session.h"
#include "app/unattended_runs.h"
#include "platform/installer_transaction.h"
#include "platform/user_profiles.h"
#include "tests/unit/support/temp_folder.h"

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
                // Made as a run makes it, with the lock's descriptor.
                PSECURITY_DESCRIPTOR security = nullptr;
                ConvertStringSecurityDescriptorToSecurityDescriptorW(kRunLockSecurity, SDDL_REVISION_1, &security,
                                                                     nullptr);
                SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
                const HANDLE mutex = CreateMutexW(&attributes, FALSE, name.c_str());
                LocalFree(security);
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

// What anyone can put under a global name first: another kind of object, or a mutex of their
// own. Neither stands for the lock, and no run goes on without it: each waits (1618).
// (Wine has no private namespaces, so this is the global name's case; on Windows the lock is
// in the administrators' private namespace, where no standard user can make anything.)
TEST(RunLock, ANameTakenByAnotherKindOfObjectOrAnotherOwnerHoldsEveryRunBack) {
    const std::wstring name = TestLockName(L"event");
    unique_handle event(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(event);
    RunLock lock(name.c_str());
    EXPECT_FALSE(lock.acquire(0));
    EXPECT_FALSE(lock.acquire(100));

    // A mutex that the user made, open to everyone, owned by the user.
    const std::wstring squatted = TestLockName(L"squatted");
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        (L"O:" + ProcessUserSid() + L"D:(A;;GA;;;WD)").c_str(), SDDL_REVISION_1, &open, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, open, FALSE};
    unique_handle mutex(CreateMutexW(&attributes, FALSE, squatted.c_str()));
    LocalFree(open);
    ASSERT_TRUE(mutex);
    RunLock second(squatted.c_str());
    EXPECT_FALSE(second.acquire(0));
}

TEST(IsRunLockOwner, OnlyTheSystemAccountOrTheAdministrators) {
    for (const wchar_t* sid : {L"S-1-5-18", L"S-1-5-32-544"}) {
        PSID parsed = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(sid, &parsed));
        EXPECT_TRUE(IsRunLockOwner(parsed)) << sid;
        LocalFree(parsed);
    }
    for (const wchar_t* sid : {L"S-1-5-21-1-2-3-1001", L"S-1-12-1-1-2-3-4", L"S-1-5-32-545", L"S-1-1-0", L"S-1-5-19",
                               L"S-1-5-20", L"S-1-5-11"}) {
        PSID parsed = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(sid, &parsed));
        EXPECT_FALSE(IsRunLockOwner(parsed)) << sid;
        LocalFree(parsed);
    }
    EXPECT_FALSE(IsRunLockOwner(nullptr));
}

// The look at Windows Installer's mutex, through calls that record what it asks for.
DWORD g_accessAsked = 0;
bool g_releaseFails = false;
UINT g_endedWith = 0;
HANDLE WINAPI OpenRecorded(DWORD access, BOOL inherit, LPCWSTR name) {
    g_accessAsked = access;
    return OpenMutexW(access, inherit, name);
}
BOOL WINAPI ReleaseOrFail(HANDLE mutex) { return g_releaseFails ? FALSE : ReleaseMutex(mutex); }
void WINAPI EndRecorded(UINT code) { g_endedWith = code; }

// True when another thread can take the mutex `name` now (and then gives it back).
bool FreeForOthers(const std::wstring& name) {
    bool taken = false;
    std::thread([&] {
        unique_handle mutex(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
        const DWORD result = mutex ? WaitForSingleObject(mutex.get(), 0) : WAIT_FAILED;
        taken = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        if (taken) ReleaseMutex(mutex.get());
    }).join();
    return taken;
}

// Wine's server does not check the access right on release, so the access asked for and the
// decision on a release that fails are what is checked here.
TEST(InstallerTransactionRunning, AsksForTheRightToReleaseAndNeverKeepsTheMutex) {
    enum class State { None, Free, Held, Abandoned, SynchronizeOnly };
    const struct {
        State state;
        bool releaseFails;
        bool running;
        UINT endedWith;
    } cases[] = {
        {State::None, false, false, 0},
        {State::Free, false, false, 0},
        {State::Abandoned, false, false, 0},  // its installer was killed: its transaction is over
        {State::Held, false, true, 0},
        {State::SynchronizeOnly, false, true, 0},  // can't be released, so it is not taken
        {State::Free, true, true, ERROR_INSTALL_ALREADY_RUNNING},
        {State::Abandoned, true, true, ERROR_INSTALL_ALREADY_RUNNING},
    };
    InstallerMutexCalls calls;
    calls.open = OpenRecorded;
    calls.release = ReleaseOrFail;
    calls.endProcess = EndRecorded;
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(row);
        const std::wstring name = TestLockName((L"msiexecute" + std::to_wstring(row++)).c_str());
        unique_handle made;
        std::unique_ptr<OtherRun> other;
        if (c.state == State::Free) made.reset(CreateMutexW(nullptr, FALSE, name.c_str()));
        if (c.state == State::SynchronizeOnly) {
            PSECURITY_DESCRIPTOR security = nullptr;
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x100000;;;WD)", SDDL_REVISION_1,
                                                                             &security, nullptr));
            SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
            made.reset(CreateMutexW(&attributes, FALSE, name.c_str()));
            LocalFree(security);
        }
        if (c.state == State::Held || c.state == State::Abandoned) {
            other = std::make_unique<OtherRun>(name, c.state == State::Abandoned);
            ASSERT_TRUE(other->taken());
        }
        g_accessAsked = 0;
        g_releaseFails = c.releaseFails;
        g_endedWith = 0;

        EXPECT_EQ(c.running, InstallerTransactionRunning(name.c_str(), calls));
        EXPECT_EQ(static_cast<DWORD>(SYNCHRONIZE | MUTEX_MODIFY_STATE), g_accessAsked);
        EXPECT_EQ(c.endedWith, g_endedWith);
        if (c.releaseFails) {
            // What the process would keep, had it not ended: the mutex, owned by this thread.
            EXPECT_FALSE(FreeForOthers(name));
            unique_handle kept(OpenMutexW(MUTEX_MODIFY_STATE, FALSE, name.c_str()));
            EXPECT_TRUE(ReleaseMutex(kept.get()));
        } else if (c.state == State::Free || c.state == State::Abandoned) {
            EXPECT_TRUE(FreeForOthers(name)) << "given back";
        }
    }
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

// "/quiet" and "/preview" while another run cleans: try again later, and say so in a log (or
// list) of their own and on standard output; the other run's files, and the folder's older
// ones, stay as they are.
TEST(RunUnattended, WhileAnotherRunCleansItTriesLaterAndSaysSoInAFileOfItsOwn) {
    OtherRun other(kRunLockName);
    ASSERT_TRUE(other.taken());
    TempFolder windows;
    CreateDirectoryW((windows / L"Logs").c_str(), nullptr);
    const std::wstring folder = windows / L"Logs\\TallowBriskCleaner";
    struct Platform : SessionPlatform {
        explicit Platform(std::wstring windows) : windows_(std::move(windows)) {}
        std::wstring logWindowsFolder() override { return windows_; }
        void runCleaners(OperationsLogger&, ProgressCleaner&, RegistryBackup&) override { ran = true; }
        void runPreviewCleaners(OperationsLogger&) override { ran = true; }
        void writeStandardOutput(const std::wstring& line) override { output.push_back(line); }
        bool ran = false;
        std::vector<std::wstring> output;
        std::wstring windows_;
    } platform(windows.path());
    const RunHeading heading{L"1.15.1", L"/quiet", true, L"NT AUTHORITY\\SYSTEM", L"S-1-5-18"};
    EXPECT_EQ(RunUnattended(UnattendedRun::Quiet, platform, heading), 1618);
    EXPECT_EQ(RunUnattended(UnattendedRun::Preview, platform, heading), 1618);
    EXPECT_FALSE(platform.ran);
    ASSERT_EQ(platform.output.size(), 2u);
    EXPECT_EQ(platform.output[0],
              L"LOG Summary:: version=1.15.1; switches=/quiet; allUsers=yes; account=NT AUTHORITY\\SYSTEM; "
              L"sid=S-1-5-18; usersVisited=0; usersPassedOver=0; removed=0; failed=0; passedOver=0; exit=1618; "
              L"reason=another-run");
    EXPECT_NE(std::wstring::npos,
              platform.output[1].find(L"; planned=0; failed=0; passedOver=0; exit=1618; reason=another-run"));
    size_t logs = 0;
    size_t previews = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::wstring name = entry.path().filename().wstring();
        const std::string bytes = ReadFileBytes(entry.path().wstring());
        const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()) + 1, bytes.size() / 2 - 1);
        const bool preview = name.find(L".preview.log") != std::wstring::npos;
        (preview ? previews : logs)++;
        EXPECT_EQ(text, platform.output[preview ? 1 : 0] + L"\r\n") << name;
    }
    EXPECT_EQ(logs, 1u);
    EXPECT_EQ(previews, 1u);
}

}  // namespace
