#include "app/FatalGuard.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

constexpr const char* kSupportAddress = "support@zorvendal.org";
constexpr const char* kReportStart =
    "A fatal error occured !\nThe music will stop and the program will shut down as soon as "
    "you press the OK button\n\nPlease report this error number: ";
constexpr const char* kReportMiddle = ", by email at ";
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

// Where the last C++ exception was thrown on this thread (the guard reports it).
thread_local uint64_t tThrowSite = 0;

sigjmp_buf gGuardJump;
std::atomic<bool> gGuardArmed{false};
// The thread that runs the guarded loop: the only one that may jump into it.
std::atomic<pid_t> gGuardThread{0};
volatile sig_atomic_t gSignalAddressLow = 0;
uint64_t gSignalAddress = 0;
bool gExceptionCaught = false;
uint64_t gExceptionAddress = 0;

// Appends text to a fixed buffer; async-signal-safe.
struct SignalText {
    char bytes[512];
    size_t length = 0;

    void add(const char* text) {
        while (*text != '\0' && length < sizeof bytes)
            bytes[length++] = *text++;
    }
    void addHex(uint64_t value) {
        char digits[16];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value & 15];
            value >>= 4;
        } while (value != 0);
        while (count > 0 && length < sizeof bytes)
            bytes[length++] = digits[--count];
    }
};

// The report of a fault on a thread that is not the guard's: written to the standard
// error stream, since only the guarded thread may show a message box.
void writeReportFromSignal(uint64_t address) {
    SignalText text;
    text.add(kReportStart);
    text.addHex(address);
    text.add(":");
    text.addHex(readWordSafely(address));
    text.add(kReportMiddle);
    text.add(kSupportAddress);
    text.add("\n");
    size_t done = 0;
    while (done < text.length) {
        const ssize_t n = write(STDERR_FILENO, text.bytes + done, text.length - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
}

// Ends the process by the signal's own default action (a core dump where the system
// keeps them), from inside its handler.
void endBySignal(int signalNumber) {
    signal(signalNumber, SIG_DFL);
    raise(signalNumber); // delivered at once: the handler runs with SA_NODEFER
    // A fault that raise() could not end repeats when the handler returns.
}

void onFatalSignal(int signalNumber, siginfo_t* info, void* context) {
    if (!gGuardArmed.load(std::memory_order_relaxed)) {
        endBySignal(signalNumber);
        return;
    }
    uint64_t address = reinterpret_cast<uint64_t>(info->si_addr);
#if defined(__x86_64__)
    // The instruction that faulted, as the report wants the address of the fault.
    if (context)
        address =
            static_cast<uint64_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#else
    (void)context;
#endif
    // Jumping into the guard from another thread would run the main thread's code on
    // this thread's stack while the main thread runs on. Such a fault ends the process
    // here: nothing else of the program runs, so nothing is saved from memory that the
    // fault may have damaged.
    if (gettid() != gGuardThread.load(std::memory_order_relaxed)) {
        writeReportFromSignal(address);
        endBySignal(signalNumber);
        return;
    }
    gSignalAddress = address;
    gSignalAddressLow = 1;
    siglongjmp(gGuardJump, 1);
}

} // namespace

// Records the throw site of every C++ exception, then throws as usual.
extern "C" [[noreturn]] void __cxa_throw(void* object, void* type, void (*destructor)(void*)) {
    using Throw = void (*)(void*, void*, void (*)(void*));
    static Throw realThrow = reinterpret_cast<Throw>(dlsym(RTLD_NEXT, "__cxa_throw"));
    tThrowSite = reinterpret_cast<uint64_t>(__builtin_return_address(0));
    realThrow(object, type, destructor);
    __builtin_unreachable();
}

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        if (!gExceptionCaught) {
            gExceptionCaught = true;
            gExceptionAddress = tThrowSite;
        }
        QCoreApplication::exit(1);
        return false;
    }
}

uint32_t readWordSafely(uint64_t address) {
    if (address == 0)
        return 0;
    uint32_t word = 0;
    iovec local{&word, sizeof word};
    iovec remote{reinterpret_cast<void*>(address), sizeof word};
    if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) != sizeof word)
        return 0;
    return word;
}

FatalReport runGuarded(const std::function<void()>& loop) {
    static char alternateStack[64 * 1024];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);

    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    struct sigaction previous[4];
    for (int i = 0; i < 4; ++i)
        sigaction(kFatalSignals[i], &action, &previous[i]);

    gExceptionCaught = false;
    gSignalAddressLow = 0;
    gGuardThread.store(gettid(), std::memory_order_relaxed);
    FatalReport report;
    if (sigsetjmp(gGuardJump, 1) == 0) {
        gGuardArmed.store(true);
        loop();
    }
    gGuardArmed.store(false);
    for (int i = 0; i < 4; ++i)
        sigaction(kFatalSignals[i], &previous[i], nullptr);

    if (gSignalAddressLow) {
        report.happened = true;
        report.fromSignal = true;
        report.address = gSignalAddress;
    } else if (gExceptionCaught) {
        report.happened = true;
        report.address = gExceptionAddress;
    }
    if (report.happened)
        report.word = readWordSafely(report.address);
    return report;
}

QString fatalReportText(const FatalReport& report) {
    char numbers[64];
    snprintf(numbers, sizeof numbers, "%llx:%x", static_cast<unsigned long long>(report.address),
             report.word);
    return QString(kReportStart) + numbers + kReportMiddle + kSupportAddress;
}

void endRunAfter(const FatalReport& report) {
    if (report.fromSignal)
        _exit(0);
}
