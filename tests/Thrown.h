#ifndef THROWN_H
#define THROWN_H

#include <QString>

#include <functional>

// The what() text of the @p Exception that @p call throws, or an empty text
// when it throws none.
template<typename Exception> QString messageOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const Exception &e) {
        return QString::fromLatin1(e.what());
    }
    return QString();
}

#endif // THROWN_H
