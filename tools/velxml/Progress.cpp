#include "Progress.h"

#include <cstdio>
#include <unistd.h>

Progress::Progress(const QString &command)
    : command(command)
    , enabled(isatty(STDERR_FILENO) == 1)
{
    if (enabled)
        timer.start();
}

Progress::~Progress()
{
    clear();
}

void Progress::draw(int pages, qint64 items)
{
    const qint64 now = timer.elapsed();
    if (lastDrawn >= 0 && now - lastDrawn < 200)
        return;
    lastDrawn = now;
    shown = true;
    const QByteArray label
        = (stage.isEmpty() ? command : command + QStringLiteral(", ") + stage).toLocal8Bit();
    if (pages >= 0)
        std::fprintf(stderr, "\r%s: %d pages, %lld items ", label.constData(), pages,
                     static_cast<long long>(items));
    else
        std::fprintf(stderr, "\r%s: %lld items ", label.constData(), static_cast<long long>(items));
    std::fflush(stderr);
}

void Progress::clear()
{
    if (!shown)
        return;
    shown = false;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}
