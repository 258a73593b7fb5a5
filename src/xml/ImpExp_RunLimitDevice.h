#ifndef IMPEXP_RUNLIMITDEVICE_H
#define IMPEXP_RUNLIMITDEVICE_H

#include <QIODevice>

// Stands between a page file and the XML reader and ends the input once a
// page holds more than ImpExp_Format::runLimitBytes between one '<' and the
// next. Qt's XML reader keeps a whole text run in memory and aborts the
// process beyond 2^31 bytes; cut off at the limit, it sees the page end
// early instead, and the owner asks overLimit() to tell that end from a real
// one (a page can end cleanly inside the run, after its root element).
//
// A page in UTF-16 or UTF-32 (known by its byte-order mark or by "<?" in
// those encodings at its start) is counted in its own code units, so a byte
// 0x3C inside another character does not restart the count. Any other
// encoding is counted by the byte 0x3C: right for UTF-8 and every encoding
// that keeps ASCII; one that writes '<' otherwise (EBCDIC, say) never
// restarts the count and so is refused early, never late.
class ImpExp_RunLimitDevice : public QIODevice
{
public:
    // Reads from @p source, which must be open and stay so; opens itself.
    ImpExp_RunLimitDevice(QIODevice *source, qint64 limit, QObject *parent = nullptr);

    // Appends every byte handed to the reader to @p copy from now on.
    void keepCopy(QByteArray *copy) { this->copy = copy; }

    // Whether the input was cut off at the limit.
    bool overLimit() const { return cutOff; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    bool atEnd() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    void detectUnit(const char *data, qint64 size);
    // How much of @p data (the next bytes of the page) the limit lets through.
    qint64 admit(const char *data, qint64 size);
    bool isLessThanUnit(const char *unit) const;

    QIODevice *source;
    QByteArray *copy = nullptr;
    const qint64 limit;
    qint64 offset = 0; // bytes read from the source so far
    qint64 sinceLessThan = 0; // bytes since the last '<' (or the start)
    int unitSize = 0; // 1, 2 or 4 once known
    bool bigEndian = false;
    bool cutOff = false;
};

#endif // IMPEXP_RUNLIMITDEVICE_H
