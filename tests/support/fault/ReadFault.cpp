// Preloaded into a child process (LD_PRELOAD) to stand for a failing disk: reads of the file
// named by MENDERY_FAULT_FILE fail with EIO from byte MENDERY_FAULT_AT on. Reads before that
// byte return what lies before it. Every other file reads as usual.
// With MENDERY_FAULT_THREADS set it also stands for a system that gives the process no more
// threads (a process limit reached): every thread creation fails with EAGAIN.
#include <dlfcn.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

struct Fault {
    bool armed = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t at = 0;
};

const Fault& TheFault() {
    static const Fault fault = [] {
        Fault f;
        const char* file = std::getenv("MENDERY_FAULT_FILE");
        const char* at = std::getenv("MENDERY_FAULT_AT");
        struct stat st {};
        if (file && at && ::stat(file, &st) == 0) {
            f.armed = true;
            f.dev = st.st_dev;
            f.ino = st.st_ino;
            f.at = std::strtoll(at, nullptr, 10);
        }
        return f;
    }();
    return fault;
}

bool IsFaulty(int fd) {
    const Fault& f = TheFault();
    struct stat st {};
    return f.armed && ::fstat(fd, &st) == 0 && st.st_dev == f.dev && st.st_ino == f.ino;
}

// How much of a read of `n` bytes at `pos` may go through; -1 when it fails.
ssize_t Allowed(off_t pos, size_t n) {
    const off_t at = TheFault().at;
    if (pos >= at) return -1;
    return static_cast<ssize_t>(static_cast<off_t>(n) < at - pos ? static_cast<off_t>(n) : at - pos);
}

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" ssize_t read(int fd, void* buf, size_t n) {
    static const auto real = Next<ssize_t (*)(int, void*, size_t)>("read");
    if (IsFaulty(fd)) {
        const ssize_t allowed = Allowed(::lseek(fd, 0, SEEK_CUR), n);
        if (allowed < 0) {
            errno = EIO;
            return -1;
        }
        n = static_cast<size_t>(allowed);
    }
    return real(fd, buf, n);
}

extern "C" ssize_t pread64(int fd, void* buf, size_t n, off_t pos) {
    static const auto real = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
    if (IsFaulty(fd)) {
        const ssize_t allowed = Allowed(pos, n);
        if (allowed < 0) {
            errno = EIO;
            return -1;
        }
        n = static_cast<size_t>(allowed);
    }
    return real(fd, buf, n, pos);
}

extern "C" ssize_t pread(int fd, void* buf, size_t n, off_t pos) { return pread64(fd, buf, n, pos); }

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
    static const auto real = Next<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>("pthread_create");
    if (std::getenv("MENDERY_FAULT_THREADS")) return EAGAIN;
    return real(thread, attr, start, arg);
}
