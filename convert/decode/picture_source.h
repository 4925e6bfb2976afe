#pragma once

#include <QFile>
#include <QIODevice>

// The source picture's file, opened once and read by Qt's image readers through this device.
//
// Only a regular file is opened: a FIFO, a socket or a device would block the reader (or never
// end), so they are refused before anything is read. The device also notices when a reader asks
// for bytes beyond the end of the file, which is how a cut-short BMP file shows: Qt's BMP reader
// stops there and keeps the picture, with the rows it could not read left as they were.
class PictureSource : public QIODevice
{
public:
    enum OpenResult { Opened, NotARegularFile, Unreadable };

    explicit PictureSource(const QString &filePath);
    ~PictureSource() override;

    // Opens the file read-only, without ever blocking.
    OpenResult openRegularFile();
    // The system's error number (errno) when the file could not be opened.
    int systemError() const { return m_systemError; }

    // Whether a read since the last reset asked for more bytes than the file had left.
    bool ranPastEnd() const { return m_ranPastEnd; }
    void resetRanPastEnd() { m_ranPastEnd = false; }

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_file.size(); }
    bool seek(qint64 position) override;
    void close() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    QFile m_file;
    int m_systemError = 0;
    bool m_ranPastEnd = false;
};
