#ifndef VELXML_PROGRESS_H
#define VELXML_PROGRESS_H

#include <QElapsedTimer>
#include <QString>

// Pages and items done, on standard error, for long runs only, and only when
// standard error is a terminal: redirected output stays clean.
class Progress
{
public:
    explicit Progress(const QString &command);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // @p pages may be -1 when the caller cannot tell.
    void update(int pages, qint64 items)
    {
        if (enabled && items >= threshold)
            draw(pages, items);
    }

    // Removes the progress line, if one was drawn.
    void clear();

    // Names the stage the counts belong to, when a command has several.
    void setStage(const QString &name) { stage = name; }

private:
    void draw(int pages, qint64 items);

    static constexpr qint64 threshold = 2000;
    QString command;
    QString stage;
    QElapsedTimer timer;
    qint64 lastDrawn = -1;
    bool enabled;
    bool shown = false;
};

#endif // VELXML_PROGRESS_H
