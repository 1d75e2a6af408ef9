// The compiled-in catalogue and images of kelm-remote.

#include "resources/resources.h"

#include <QCoreApplication>
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

    // One entry of each kind: with arguments and line breaks, and texts known in
    // other contexts only. Entries shown as their source are kept with an empty
    // translation: lookup must fall through to the source, never to an empty text.
    void entries()
    {
        const char* rows[][3] = {
            {"G821Form", "Channel ", "Канал "}, {"MainMenu", "Exit", "Выход"},
            {"PDFCreator", "These files already exist:\n%1\nReplace them?", "Эти файлы уже существуют:\n%1\nЗаменить их?"},
            {"ChartWidget", "The chart could not be saved to the file %1.", "Не удалось сохранить график в файл %1."},
            {"PDFCreator", "DWORD 32bits", "Дв. слово 32бита"}, {"PDFCreator", "CRC-4", "CRC-4"},
            {"MainWidget", "Exit", "Exit"}, {"PDFCreator", "Channel ", "Channel "},
        };
        for (const auto& r : rows) {
            QCOMPARE(QCoreApplication::translate(r[0], r[1]), QString::fromUtf8(r[2]));
            if (QByteArray(r[1]) == r[2])
                QVERIFY2(tr_.translate(r[0], r[1]).isNull(), r[1]);
        }
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
