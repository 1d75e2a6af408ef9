#include "updater/mainwidget.h"
#include "ui_mainwidget.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>

#include <chrono>

namespace {

const char UPDATE_REQUEST = char(0xA3);
const char SECTION_HEADER = 'S';
const char SECTION_Q = 'Q';
const char SECTION_R = 'R';
const char END_PACKET = 'U';
const char ACKNOWLEDGE = 'P';

} // namespace

std::function<void(QWidget*, MainWidget::BoxKind, const QString&, const QString&)> MainWidget::messageBox =
    [](QWidget* parent, BoxKind kind, const QString& title, const QString& text) {
        QMessageBox box(kind == BoxKind::Warning ? QMessageBox::Warning : QMessageBox::Critical, title, text,
                        QMessageBox::Ok, parent);
        box.exec();
    };

std::function<QString(QWidget*, const QString&, const QString&)> MainWidget::openFileName =
    [](QWidget* parent, const QString& caption, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
    };

std::function<qint64()> MainWidget::clockMs = [] {
    // Monotonic, so that setting the system clock back cannot stretch the reply wait.
    using namespace std::chrono;
    return qint64(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
};

MainWidget::MainWidget(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::MainWidget)
    , tDevScan(new QTimer)
{
    // The Russian catalogue is always used; without it the English texts show.
    translator = new QTranslator(this);
    if (translator->load(QStringLiteral("E1_up_ru"), QStringLiteral(":/")))
        QCoreApplication::installTranslator(translator);
    // Qt's own texts (file dialogs, standard buttons) from Qt's Russian
    // catalogue; a deployed Windows program has them as one "qt_ru".
    qt_translator = new QTranslator(this);
    const QString qt_dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (qt_translator->load(QStringLiteral("qtbase_ru"), qt_dir) || qt_translator->load(QStringLiteral("qt_ru"), qt_dir))
        QCoreApplication::installTranslator(qt_translator);

    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowContextHelpButtonHint);
    setFixedSize(700, 250);

    connected = false;
    updating = false;
    lastQChunkSent = false;
    lastRChunkSent = false;
    qOffset = 0;
    rOffset = 0;

    connect(ui->bOpen1, SIGNAL(clicked()), this, SLOT(bOpen1Clicked()));
    connect(ui->bOpen2, SIGNAL(clicked()), this, SLOT(bOpen2Clicked()));
    connect(ui->bUpdate, SIGNAL(clicked()), this, SLOT(bUpdateClicked()));
    connect(tDevScan, SIGNAL(timeout()), this, SLOT(tDevScanTimeout()));

    tDevScan->start(1000);
}

MainWidget::~MainWidget()
{
    if (deviceOpen_)
        usb::backend()->close(handle);
    delete ui;
    delete tDevScan;
}

quint8 MainWidget::checksum(const QByteArray& bytes)
{
    quint8 sum = 0;
    for (char c : bytes)
        sum = quint8(sum + quint8(c));
    return quint8(~sum);
}

void MainWidget::showBox(BoxKind kind, const QString& title, const QString& text)
{
    boxOpen_ = true;
    messageBox(this, kind, title, text);
    boxOpen_ = false;
}

bool MainWidget::failWithBox(const QString& text)
{
    failure_ = text;
    showBox(BoxKind::Critical, tr("Critical error"), text);
    devDisconnect();
    return false;
}

void MainWidget::openFile(QLineEdit* line, const QString& filter, QByteArray& data)
{
    loadFile(line, openFileName(this, tr("Select file"), filter), data);
}

void MainWidget::setFiles(const QString& path1, const QString& path2)
{
    loadFile(ui->lFile1, path1, file1Data);
    loadFile(ui->lFile2, path2, file2Data);
}

void MainWidget::loadFile(QLineEdit* line, const QString& chosen, QByteArray& data)
{
    line->setText(chosen);
    const QString path = line->text();
    data.clear();
    if (!path.isEmpty()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.size() > 0)
            data = file.readAll();
        file.close();
    }
    if (data.isEmpty())
        line->clear();
}

void MainWidget::bOpen1Clicked()
{
    openFile(ui->lFile1, tr("KELM-E1x update file(*.kt2)"), file1Data);
}

void MainWidget::bOpen2Clicked()
{
    openFile(ui->lFile2, tr("KELM-E1x update file(*.kt3)"), file2Data);
}

void MainWidget::updateButtonState()
{
    ui->bUpdate->setEnabled(connected && !updating && !file1Data.isEmpty() && !file2Data.isEmpty());
}

void MainWidget::tDevScanTimeout()
{
    usb::Backend* b = usb::backend();
    if (connected) {
        status = b->getDeviceString(0, replyBuffer, 2);
        connected = status == 0;
        if (!connected)
            devDisconnect();
        updateButtonState();
        return;
    }

    status = b->getNumDevices(&count);
    if (status != 0)
        return;
    if (count > 1) {
        // The timer keeps running under the modal box; one box is enough, the
        // next tick after OK warns again if both are still plugged in.
        if (!boxOpen_)
            showBox(BoxKind::Warning, QString(), tr("More then 1 device found."));
        return;
    }
    if (count == 1) {
        status = b->open(0, &handle);
        if (status != 0) {
            ui->lStatus->setText(tr("Error on device opening."));
            return;
        }
        deviceOpen_ = true;
        connected = true;
        ui->lStatus->setText(tr("Device connected."));
        // From the event loop, not inside this tick: the scan timer must keep
        // firing during the transfer.
        if (startWhenConnected)
            QTimer::singleShot(0, this, &MainWidget::bUpdateClicked);
    }
    updateButtonState();
}

void MainWidget::bUpdateClicked()
{
    if (!connected || updating || file1Data.isEmpty() || file2Data.isEmpty())
        return;
    startWhenConnected = false;
    completed_ = false;
    failure_ = tr("Device disconnected.");
    ui->bUpdate->setEnabled(false);
    ui->bOpen1->setEnabled(false);
    ui->bOpen2->setEnabled(false);
    packet = QByteArray(1, UPDATE_REQUEST);
    updating = true;
    // Every way out goes through devDisconnect(), which clears `connected`;
    // the instrument ends a completed update by its answer to the end packet.
    while (connected) {
        if (!sendPacket())
            break;
        if (!receiveReply())
            break;
        if (!processReply())
            break;
    }
    if (transferEnded)
        transferEnded(completed_, completed_ ? QString() : failure_);
}

bool MainWidget::sendPacket()
{
    status = usb::backend()->write(handle, packet.constData(), quint32(packet.size()), &count);
    if (status != 0)
        return failWithBox(tr("Couldn't send data to device"));
    return true;
}

bool MainWidget::receiveReply()
{
    usb::Backend* b = usb::backend();
    count = 0;
    const qint64 start = clockMs();
    while (count == 0) {
        status = b->checkRXQueue(handle, &count, &queueStatus);
        if (status != 0)
            return failWithBox(tr("Couldn't receive USB queue status"));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        // The scan tick inside the event pass may have found the instrument
        // gone and closed the handle; it must not be used any more.
        if (!connected)
            return false;
        const qint64 elapsed = clockMs() - start;
        if (elapsed > REPLY_TIMEOUT_MS)
            return failWithBox(tr("Timeout on waiting packet"));
    }

    // Only the first byte of a reply matters: keep the first 256 bytes and
    // drain the rest, so that nothing stale is taken for the next reply.
    quint32 waiting = count;
    const quint32 first = qMin<quint32>(waiting, REPLY_BUFFER_SIZE);
    replyBuffer[0] = 0; // a read that delivers nothing must not look like an acknowledgement
    status = b->read(handle, replyBuffer, first, &count);
    if (status != 0)
        return failWithBox(tr("Couldn't read data from device"));
    waiting -= first;
    char scratch[REPLY_BUFFER_SIZE];
    while (waiting > 0) {
        quint32 got = 0;
        status = b->read(handle, scratch, qMin<quint32>(waiting, REPLY_BUFFER_SIZE), &got);
        if (status != 0)
            return failWithBox(tr("Couldn't read data from device"));
        if (got == 0)
            break;
        waiting -= qMin(got, waiting);
    }
    return true;
}

bool MainWidget::processReply()
{
    const char first = replyBuffer[0];
    if (first == UPDATE_REQUEST) {
        packet = QByteArray() + SECTION_HEADER + SECTION_Q;
        return true;
    }
    if (first != ACKNOWLEDGE) {
        // Any other answer to the end packet is the instrument's way of ending
        // a complete update; to anything else it breaks the update off.
        completed_ = packet == QByteArray(1, END_PACKET);
        failure_ = tr("The instrument broke the update off (reply 0x%1).")
                      .arg(quint8(first), 2, 16, QLatin1Char('0'));
        devDisconnect();
        return false;
    }

    const char kind = packet.isEmpty() ? 0 : packet.at(0);
    if (kind == SECTION_R) {
        if (lastRChunkSent)
            packet = QByteArray(1, END_PACKET);
        else
            makeRPacket();
    } else if (kind == SECTION_HEADER) {
        if (packet.size() > 1 && packet.at(1) == SECTION_Q)
            makeQPacket();
        else
            makeRPacket();
    } else if (kind == SECTION_Q) {
        if (lastQChunkSent)
            packet = QByteArray() + SECTION_HEADER + SECTION_R;
        else
            makeQPacket();
    }
    // The update request and the end packet go out again unchanged.

    ui->pBar->setRange(0, file1Data.size() + file2Data.size() - 2);
    ui->pBar->setValue(qOffset + rOffset);
    return true;
}

void MainWidget::makeDataPacket(char letter, const QByteArray& file, qint32& offset, bool& lastChunk)
{
    packet.clear();
    packet.append(letter);
    qint32 n = offset + MAX_CHUNK < file.size() ? MAX_CHUNK : qint32(file.size()) - 1 - offset;
    n = qMax(n, 0);
    packet.append(char(n));
    packet.append(file.mid(offset, n));
    offset += n;
    packet.append(char(checksum(packet)));
    lastChunk = offset + 1 == file.size();
}

void MainWidget::makeQPacket()
{
    makeDataPacket(SECTION_Q, file1Data, qOffset, lastQChunkSent);
}

void MainWidget::makeRPacket()
{
    makeDataPacket(SECTION_R, file2Data, rOffset, lastRChunkSent);
}

void MainWidget::devDisconnect()
{
    if (deviceOpen_) {
        usb::backend()->close(handle);
        deviceOpen_ = false;
    }
    connected = false;
    updating = false;
    lastQChunkSent = false;
    lastRChunkSent = false;
    packet.clear();
    qOffset = 0;
    rOffset = 0;
    ui->pBar->setValue(0);
    ui->lStatus->setText(tr("Device disconnected."));
    ui->bOpen1->setEnabled(true);
    ui->bOpen2->setEnabled(true);
}
