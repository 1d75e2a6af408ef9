// The compiled-in catalogue and images of kelm-remote.

#include "resources/resources.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QTest>
#include <QTranslator>

class TstCatalogue : public QObject {
    Q_OBJECT
    QTranslator tr_;

private slots:
    void initTestCase()
    {
        QVERIFY(tr_.load("E1_rc_ru", ":/"));
        QVERIFY(QCoreApplication::installTranslator(&tr_));
    }

    void entries_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("shown");
        const char* rows[][3] = {
            {"Device", "More then 1 device found.", "Обнаружено более 1го устройства."},
            {"G821Form", "Channel ", "Канал "}, {"MainMenu", "About", "О программе"},
            {"MainMenu", "About Qt", "О Qt"}, {"MainMenu", "Actions", "Действия"}, {"MainMenu", "Exit", "Выход"},
            {"MainMenu", "Histograms", "Гистограммы"}, {"MainMenu", "Information", "Справка"},
            {"MainMenu", "Reports", "Отчеты"}, {"MainMenu", "Table", "Таблица"}, {"MainMenu", "Windows", "Окна"},
            {"MainMenu", "Save settings...", "Сохранить настройки..."},
            {"MainMenu", "Load settings...", "Загрузить настройки..."}, {"Verdicts", "Pass", "Норма"},
            {"Verdicts", "Fail", "Не норма"}, {"Verdicts", "No data", "Нет данных"},
            {"MainWidget", "Connected", "Подключен"},
            {"MainWidget", "KELM E1/E10 Remote Control", "Удаленное Управление КЕЛМ Е1/Е10"},
            {"MainWidget", "Instrument found but could not be opened (no access, or in use)",
             "Прибор найден, но не открывается (нет доступа или занят)"},
            {"PDFCreator", "Alarms statistics", "Статистика аварий"}, {"PDFCreator", "Bin", "Бин"},
            {"PDFCreator", "Binary", "Бинарные"}, {"PDFCreator", "CRC", "CRC"}, {"PDFCreator", "CRC-4", "CRC-4"},
            {"PDFCreator", "Channel", "Канал"}, {"PDFCreator", "Code", "Код"},
            {"PDFCreator", "Comments", "Комментарии"}, {"PDFCreator", "Writing the report...", "Создание отчета..."},
            {"PDFCreator", "The report could not be written to:\n%1", "Не удалось записать отчет в файл:\n%1"},
            {"PDFCreator", "These files already exist:\n%1\nReplace them?", "Эти файлы уже существуют:\n%1\nЗаменить их?"},
            {"ChartWidget", "Save chart", "Сохранение графика"},
            {"ChartWidget", "The chart could not be saved to the file %1.", "Не удалось сохранить график в файл %1."},
            {"PDFCreator", "Current", "Текущее"}, {"PDFCreator", "Cycle", "Цикл"},
            {"PDFCreator", "DWORD 32bits", "Дв. слово 32бита"}, {"PDFCreator", "E-bit", "Е-бит"},
            {"PDFCreator", "Errors", "Ошибки"}, {"PDFCreator", "Jitter", "Джиттер"},
            {"PDFCreator", "Jitter HF", "Джиттер ВЧ"}, {"PDFCreator", "Lost of cycle", "Потеря цикла"},
            {"PDFCreator", "No cycle", "Нет цикла"}, {"PDFCreator", "No entry", "Нет входа"},
            {"PDFCreator", "Octet 55", "Октет 55"}, {"PDFCreator", "PCP 2^11-1", "PCP 2^11-1"},
            {"PDFCreator", "PCP 2^15-1", "PCP 2^15-1"}, {"PDFCreator", "PCP 2^20-1", "PCP 2^20-1"},
            {"PDFCreator", "PCP 2^7-1", "PCP 2^7-1"}, {"PDFCreator", "PCP 2^9-1", "PCP 2^9-1"},
            {"PDFCreator", "Report creation finished.", "Создание отчета завершено."},
            {"PDFCreator", "Report creation proccess is busy now. Please wait until it finish.",
             "Процесс создания отчета сейчас занят. Пожалуйста подождите."},
            {"PDFCreator", "SIAS", "СИАС"}, {"PDFCreator", "SIAS entry", "SIAS вход"},
            {"PDFCreator", "Sequence type", "Тип последовательности"}, {"PDFCreator", "Settings", "Настройки"},
            {"PDFCreator", "Test time", "Время измерения"}, {"PDFCreator", "Time", "Время"},
            {"PDFCreator", "Transmit & receive settings", "Настройки приема и передачи"},
            {"PDFCreator", "Word #1", "Слово №1"}, {"PDFCreator", "Word #2", "Слово №2"},
            {"PDFCreator", "Word + Alt. word", "Слово + Альт. слово"}, {"PDFCreator", "d", "д"},
            {"PDFCreator", "h", "ч"}, {"PDFCreator", "m", "м"}, {"ReceiveFrame", "Hz", "Гц"},
            {"ReceiveFrame", "Receive", "Прием"}, {"ReportDialog", "Save File", "Сохранить файл"},
            {"ResultFrame", "Results", "Результаты"}, {"TransmissionFrame", "Transmission", "Передача"},
            // The context matters: these texts are known in other contexts only.
            {"MainWidget", "Exit", "Exit"}, {"PDFCreator", "Channel ", "Channel "},
            {"MainWidget", "More then 1 device found.", "More then 1 device found."},
        };
        for (const auto& r : rows)
            QTest::addRow("%s/%s", r[0], r[1]) << r[0] << r[1] << QString::fromUtf8(r[2]);
    }

    // Entries shown as their source are kept with an empty translation: lookup
    // must fall through to the English source, never to an empty text.
    void entries()
    {
        QFETCH(QString, context);
        QFETCH(QString, source);
        QFETCH(QString, shown);
        const QByteArray ctx = context.toUtf8(), src = source.toUtf8();
        QCOMPARE(QCoreApplication::translate(ctx.constData(), src.constData()), shown);
        if (shown == source)
            QVERIFY(tr_.translate(ctx.constData(), src.constData()).isNull());
    }

    void imagesLoad()
    {
        // The menu and the report name their images without a slash after the colon.
        for (const char* p : {":img/table.png", ":img/chart.png", ":img/report.png", ":img/about.png",
                              ":img/qt.png", ":img/check.png", ":img/uncheck.png", ":/img/header.png"})
            QVERIFY2(!QImage(p).isNull(), p);
        const QList<QSize> sizes = kelm::applicationIcon().availableSizes();
        for (int s : {16, 24, 32, 48, 128, 256})
            QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));
    }
};

QTEST_MAIN(TstCatalogue)
#include "tst_catalogue.moc"
