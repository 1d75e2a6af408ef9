#pragma once
// The updater's only window: choose the two update files, watch the
// connection, and send both files to the instrument in its stop-and-wait
// update protocol.

#include "usb/usb.h"

#include <QByteArray>
#include <QDialog>
#include <QString>

#include <functional>

class QLineEdit;
class QTimer;
class QTranslator;

namespace Ui {
class MainWidget;
}

class MainWidget : public QDialog {
    Q_OBJECT
public:
    enum class BoxKind { Warning, Critical };

    explicit MainWidget(QWidget* parent = nullptr);
    ~MainWidget() override;

    // Every message box goes through here (modal, one OK button, `parent` as
    // owner). Tests replace it so that nothing blocks.
    static std::function<void(QWidget* parent, BoxKind kind, const QString& title, const QString& text)> messageBox;
    // The open-file dialog; returns the chosen path or an empty string.
    static std::function<QString(QWidget* parent, const QString& caption, const QString& filter)> openFileName;
    // Milliseconds from a clock that never runs backwards; drives the reply time-out.
    static std::function<qint64()> clockMs;

    static constexpr qint64 REPLY_TIMEOUT_MS = 5000;
    static constexpr int MAX_CHUNK = 60;
    static constexpr int REPLY_BUFFER_SIZE = 256;

    // One's complement of the 8-bit sum of `bytes`.
    static quint8 checksum(const QByteArray& bytes);

    // Both files as if chosen in the dialogs (a path that gives no data leaves
    // its line blank).
    void setFiles(const QString& path1, const QString& path2);
    // Set: the next connection starts the transfer by itself, as Update would.
    bool startWhenConnected = false;
    // Told when a transfer has ended: whether the instrument took it to the
    // end, and otherwise why not (the text the window showed).
    std::function<void(bool completed, const QString& reason)> transferEnded;

    void updateButtonState();
    bool sendPacket();
    bool receiveReply();
    bool processReply();
    void makeQPacket();
    void makeRPacket();
    void devDisconnect();

public slots:
    void bOpen1Clicked();
    void bOpen2Clicked();
    void bUpdateClicked();
    void tDevScanTimeout();

public:
    // State of the window; read by tests, written only here.
    Ui::MainWidget* ui = nullptr;
    QTimer* tDevScan = nullptr;
    QTranslator* translator = nullptr;
    QTranslator* qt_translator = nullptr;
    usb::Handle handle = nullptr;
    bool connected = false;
    bool updating = false;
    bool lastQChunkSent = false;
    bool lastRChunkSent = false;
    QByteArray file1Data;
    QByteArray file2Data;
    QByteArray packet;
    qint32 qOffset = 0;
    qint32 rOffset = 0;
    quint32 count = 0;
    quint32 queueStatus = 0;
    quint32 status = 0;
    char replyBuffer[REPLY_BUFFER_SIZE] = {};

private:
    void openFile(QLineEdit* line, const QString& filter, QByteArray& data);
    void loadFile(QLineEdit* line, const QString& path, QByteArray& data);
    void makeDataPacket(char letter, const QByteArray& file, qint32& offset, bool& lastChunk);
    void showBox(BoxKind kind, const QString& title, const QString& text);
    bool failWithBox(const QString& text);

    // The handle is open (may outlive `connected` by one step of a disconnection).
    bool deviceOpen_ = false;
    // A message box is on screen; the scan must not stack a second one on it.
    bool boxOpen_ = false;
    // How the transfer under way ended: the end packet was answered, or why not.
    bool completed_ = false;
    QString failure_;
};
