#ifndef DEADLINE_H
#define DEADLINE_H

#include <QByteArray>

#include <functional>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs @p work in a forked child and returns what it returned, or
// "(timed out)" when it has not finished within @p milliseconds (the child is
// killed), or "(crashed)". So a test of something that used to hang fails
// instead of hanging the suite.
inline QByteArray withDeadline(const std::function<QByteArray()> &work, int milliseconds = 5000)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return "(no pipe)";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const QByteArray answer = work();
        const ssize_t written = ::write(channel[1], answer.constData(), size_t(answer.size()));
        ::_exit(written == answer.size() ? 0 : 1);
    }
    ::close(channel[1]);
    QByteArray answer;
    bool timedOut = false;
    pollfd readable { channel[0], POLLIN, 0 };
    for (;;) {
        const int ready = ::poll(&readable, 1, milliseconds);
        if (ready == 0) {
            timedOut = true;
            break;
        }
        char buffer[4096];
        const ssize_t got = ready > 0 ? ::read(channel[0], buffer, sizeof buffer) : 0;
        if (got <= 0)
            break;
        answer.append(buffer, int(got));
    }
    ::close(channel[0]);
    if (timedOut)
        ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (timedOut)
        return "(timed out)";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "(crashed)";
    return answer;
}

#endif // DEADLINE_H
