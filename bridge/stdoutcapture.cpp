#include "stdoutcapture.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t longestLine = 4096;  // text without a line break is passed on in such parts

void writeAll(int fd, const std::string &text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

// Points descriptor fd at a new pipe, of which it is then the only writing end (so restoring fd
// ends the reader's input). Returns the pipe's reading end, with a copy of what fd was in *saved;
// -1, nothing changed and *saved -1, when that cannot be done.
int redirectToPipe(int fd, int *saved)
{
    *saved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (*saved < 0)
        return -1;
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) != 0 || dup2(ends[1], fd) < 0) {
        if (ends[0] >= 0) {
            ::close(ends[0]);
            ::close(ends[1]);
        }
        ::close(*saved);
        *saved = -1;
        return -1;
    }
    ::close(ends[1]);
    return ends[0];
}

}  // namespace

StdoutCapture::StdoutCapture(std::string prefix) : prefix(std::move(prefix))
{
    std::fflush(stdout);
    if (const int pipeEnd = redirectToPipe(STDOUT_FILENO, &savedStdout); pipeEnd >= 0)
        reader = std::thread(&StdoutCapture::drain, this, pipeEnd);
}

StdoutCapture::~StdoutCapture()
{
    finish();
}

std::string StdoutCapture::finish()
{
    if (savedStdout >= 0) {
        std::fflush(stdout);
        dup2(savedStdout, STDOUT_FILENO);
        ::close(savedStdout);
        savedStdout = -1;
        reader.join();
    }
    return lastLine;
}

void StdoutCapture::drain(int pipeEnd)
{
    std::string pending;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(pipeEnd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(chunk, size_t(n));
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
            pass(pending.substr(start, end - start));
        pending.erase(0, start);
        if (pending.size() >= longestLine)
            pass(std::exchange(pending, std::string()));
    }
    pass(pending);
    ::close(pipeEnd);
}

void StdoutCapture::pass(std::string line)
{
    line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return;
    line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
    writeAll(STDERR_FILENO, prefix + line + '\n');
    lastLine = std::move(line);
}

namespace {

// f2py writes each of its lines with one unbuffered fprintf, so each arrives whole.
bool callbackNoise(const std::string &line)
{
    return line.rfind("capi_return is NULL", 0) == 0 ||
           (line.rfind("Call-back ", 0) == 0 && line.size() >= 8 && line.compare(line.size() - 8, 8, " failed.") == 0);
}

}  // namespace

CallbackNoiseFilter::CallbackNoiseFilter()
{
    const char *debug = std::getenv("DIGESTRA_DEBUG");
    if (debug && std::string(debug) == "1")
        return;
    std::fflush(stderr);
    if (const int pipeEnd = redirectToPipe(STDERR_FILENO, &savedStderr); pipeEnd >= 0)
        reader = std::thread(&CallbackNoiseFilter::drain, this, pipeEnd);
}

CallbackNoiseFilter::~CallbackNoiseFilter()
{
    if (savedStderr < 0)
        return;
    std::fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    reader.join();
    ::close(savedStderr);
}

// Passes on what it reads at once (a progress line ends in no line break), without the lines of
// callbackNoise.
void CallbackNoiseFilter::drain(int pipeEnd)
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(pipeEnd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const std::string text(chunk, size_t(n));
        std::string kept;
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
            const std::string line = text.substr(start, end - start);
            if (!callbackNoise(line.back() == '\n' ? line.substr(0, line.size() - 1) : line))
                kept += line;
            start = end;
        }
        writeAll(savedStderr, kept);
    }
    ::close(pipeEnd);
}
