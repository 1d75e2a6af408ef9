// The compiled-in catalogue and images of kelm-remote.

#include "resources.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTest>
#include <QTranslator>

class TestCatalogue : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void entries_data();
    void entries();
    void emptyTranslationsShowTheSource_data();
    void emptyTranslationsShowTheSource();
    void unknownTextsStayEnglish();
    void missingCatalogueLeavesEnglish();
    void images_data();
    void images();
    void relativeResourcePathsResolve();
    void applicationIconHasEverySize();

private:
    QTranslator* tr_ = nullptr;
};

void TestCatalogue::init()
{
    tr_ = new QTranslator;
    QVERIFY(tr_->load("E1_rc_ru", ":/"));
    QVERIFY(QCoreApplication::installTranslator(tr_));
}

void TestCatalogue::cleanup()
{
    QCoreApplication::removeTranslator(tr_);
    delete tr_;
    tr_ = nullptr;
}

void TestCatalogue::entries_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("shown");
    const char* rows[][3] = {
        {"Device", "More then 1 device found.", "Обнаружено более 1го устройства."},
        {"G821Form", "Channel ", "Канал "},
        {"MainMenu", "About", "О программе"},
        {"MainMenu", "About Qt", "О Qt"},
        {"MainMenu", "Actions", "Действия"},
        {"MainMenu", "Exit", "Выход"},
        {"MainMenu", "Histograms", "Гистограммы"},
        {"MainMenu", "Information", "Справка"},
        {"MainMenu", "Reports", "Отчеты"},
        {"MainMenu", "Table", "Таблица"},
        {"MainMenu", "Windows", "Окна"},
        {"MainWidget", "Connected", "Подключен"},
        {"MainWidget", "KELM E1/E10 Remote Control", "Удаленное Управление КЕЛМ Е1/Е10"},
        {"PDFCreator", "Alarms statistics", "Статистика аварий"},
        {"PDFCreator", "Bin", "Бин"},
        {"PDFCreator", "Binary", "Бинарные"},
        {"PDFCreator", "CRC", "CRC"},
        {"PDFCreator", "CRC-4", "CRC-4"},
        {"PDFCreator", "Channel", "Канал"},
        {"PDFCreator", "Code", "Код"},
        {"PDFCreator", "Comments", "Комментарии"},
        {"PDFCreator", "Writing the report...", "Создание отчета..."},
        {"PDFCreator", "The report could not be written to:\n%1", "Не удалось записать отчет в файл:\n%1"},
        {"ChartWidget", "Save chart", "Сохранение графика"},
        {"ChartWidget", "The chart could not be saved to the file %1.", "Не удалось сохранить график в файл %1."},
        {"MainWidget", "Instrument found but could not be opened (no access, or in use)",
         "Прибор найден, но не открывается (нет доступа или занят)"},
        {"PDFCreator", "Current", "Текущее"},
        {"PDFCreator", "Cycle", "Цикл"},
        {"PDFCreator", "DWORD 32bits", "Дв. слово 32бита"},
        {"PDFCreator", "E-bit", "Е-бит"},
        {"PDFCreator", "Errors", "Ошибки"},
        {"PDFCreator", "Jitter", "Джиттер"},
        {"PDFCreator", "Jitter HF", "Джиттер ВЧ"},
        {"PDFCreator", "Lost of cycle", "Потеря цикла"},
        {"PDFCreator", "No cycle", "Нет цикла"},
        {"PDFCreator", "No entry", "Нет входа"},
        {"PDFCreator", "Octet 55", "Октет 55"},
        {"PDFCreator", "PCP 2^11-1", "PCP 2^11-1"},
        {"PDFCreator", "PCP 2^15-1", "PCP 2^15-1"},
        {"PDFCreator", "PCP 2^20-1", "PCP 2^20-1"},
        {"PDFCreator", "PCP 2^7-1", "PCP 2^7-1"},
        {"PDFCreator", "PCP 2^9-1", "PCP 2^9-1"},
        {"PDFCreator", "Report creation finished.", "Создание отчета завершено."},
        {"PDFCreator", "Report creation proccess is busy now. Please wait until it finish.",
         "Процесс создания отчета сейчас занят. Пожалуйста подождите."},
        {"PDFCreator", "SIAS", "СИАС"},
        {"PDFCreator", "SIAS entry", "SIAS вход"},
        {"PDFCreator", "Sequence type", "Тип последовательности"},
        {"PDFCreator", "Settings", "Настройки"},
        {"PDFCreator", "Test time", "Время измерения"},
        {"PDFCreator", "Time", "Время"},
        {"PDFCreator", "Transmit & receive settings", "Настройки приема и передачи"},
        {"PDFCreator", "Word #1", "Слово №1"},
        {"PDFCreator", "Word #2", "Слово №2"},
        {"PDFCreator", "Word + Alt. word", "Слово + Альт. слово"},
        {"PDFCreator", "d", "д"},
        {"PDFCreator", "h", "ч"},
        {"PDFCreator", "m", "м"},
        {"ReceiveFrame", "Hz", "Гц"},
        {"ReceiveFrame", "Receive", "Прием"},
        {"ReportDialog", "Save File", "Сохранить файл"},
        {"ResultFrame", "Results", "Результаты"},
        {"TransmissionFrame", "Transmission", "Передача"},
    };
    for (const auto& r : rows)
        QTest::addRow("%s/%s", r[0], r[1]) << r[0] << r[1] << QString::fromUtf8(r[2]);
}

void TestCatalogue::entries()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, shown);
    const QByteArray ctx = context.toUtf8(), src = source.toUtf8();
    QCOMPARE(QCoreApplication::translate(ctx.constData(), src.constData()), shown);
}

void TestCatalogue::emptyTranslationsShowTheSource_data()
{
    QTest::addColumn<QString>("source");
    for (const char* s : {"CRC", "CRC-4", "PCP 2^7-1", "PCP 2^9-1", "PCP 2^11-1", "PCP 2^15-1", "PCP 2^20-1"})
        QTest::newRow(s) << s;
}

// The catalogue keeps these entries with a null translation; lookup must then
// fall through to the English source, never to an empty text.
void TestCatalogue::emptyTranslationsShowTheSource()
{
    QFETCH(QString, source);
    const QByteArray src = source.toUtf8();
    QVERIFY(tr_->translate("PDFCreator", src.constData()).isNull());
    QCOMPARE(QCoreApplication::translate("PDFCreator", src.constData()), source);
}

void TestCatalogue::unknownTextsStayEnglish()
{
    // The context matters: these texts are known elsewhere in the catalogue.
    QCOMPARE(QCoreApplication::translate("MainWidget", "Exit"), QString("Exit"));
    QCOMPARE(QCoreApplication::translate("PDFCreator", "Channel "), QString("Channel "));
    QCOMPARE(QCoreApplication::translate("Device", "SI_Open"), QString("SI_Open"));
    // The updater's wording of the same message belongs to its own catalogue.
    QCOMPARE(QCoreApplication::translate("MainWidget", "More then 1 device found."),
             QString("More then 1 device found."));
}

void TestCatalogue::missingCatalogueLeavesEnglish()
{
    cleanup();
    QTranslator none;
    QVERIFY(!none.load("E1_xx_xx", ":/"));
    QCoreApplication::installTranslator(&none);
    QCOMPARE(QCoreApplication::translate("MainMenu", "Exit"), QString("Exit"));
    QCOMPARE(QCoreApplication::translate("MainWidget", "Connected"), QString("Connected"));
    QCoreApplication::removeTranslator(&none);
    init();
}

void TestCatalogue::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("alpha");
    QTest::newRow("report") << ":/img/report.png" << QSize(128, 128) << true;
    QTest::newRow("about") << ":/img/about.png" << QSize(128, 128) << true;
    QTest::newRow("qt") << ":/img/qt.png" << QSize(256, 256) << true;
    QTest::newRow("chart") << ":/img/chart.png" << QSize(128, 128) << true;
    QTest::newRow("table") << ":/img/table.png" << QSize(32, 32) << true;
    QTest::newRow("header") << ":/img/header.png" << QSize(91, 57) << false;
    QTest::newRow("uncheck") << ":/img/uncheck.png" << QSize(26, 26) << true;
    QTest::newRow("check") << ":/img/check.png" << QSize(26, 26) << true;
}

void TestCatalogue::images()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(bool, alpha);
    QImage img(path);
    QVERIFY2(!img.isNull(), qPrintable(path));
    QCOMPARE(img.size(), size);
    QCOMPARE(img.hasAlphaChannel(), alpha);
    // Something is drawn: more than one colour.
    const QImage rgb = img.convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < rgb.height(); y += 2)
        for (int x = 0; x < rgb.width(); x += 2)
            colours.insert(rgb.pixel(x, y));
    QVERIFY(colours.size() > 2);
}

void TestCatalogue::relativeResourcePathsResolve()
{
    // The menu and the report name their images without a slash after the colon.
    for (const char* p : {":img/table.png", ":img/chart.png", ":img/report.png", ":img/about.png",
                          ":img/qt.png", ":img/check.png", ":img/uncheck.png"}) {
        QVERIFY2(QFile::exists(p), p);
        QVERIFY2(!QImage(p).isNull(), p);
    }
    QVERIFY(QFile::exists(":/E1_rc_ru.qm"));
}

void TestCatalogue::applicationIconHasEverySize()
{
    const QIcon icon = kelm::applicationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (int s : {16, 24, 32, 48, 128, 256}) {
        QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));
        QCOMPARE(QImage(QStringLiteral(":/icons/kelm-%1.png").arg(s)).size(), QSize(s, s));
    }
}

QTEST_MAIN(TestCatalogue)
#include "test_catalogue.moc"
