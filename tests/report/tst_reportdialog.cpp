// ReportDialog: the form, the file choice and the choices that carry over.

#include "reportdialog.h"
#include "ui_reportdialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

class TstReportDialog : public QObject
{
    Q_OBJECT

    QString next_name;
    QStringList captions;
    QStringList filters;

private slots:
    void init()
    {
        captions.clear();
        filters.clear();
        ReportDialog::save_file_name = [this](QWidget*, const QString& caption, const QString& dir,
                                              const QString& filter) {
            captions << caption;
            filters << filter;
            Q_UNUSED(dir);
            return next_name;
        };
    }

    void fresh_form()
    {
        ReportDialog d;
        QCOMPARE(d.size(), QSize(313, 331));
        QVERIFY(d.windowTitle().isEmpty());
        auto* cbComments = d.findChild<QCheckBox*>("cbComments");
        auto* teComments = d.findChild<QTextEdit*>("teComments");
        auto* cbMainA = d.findChild<QCheckBox*>("cbMainA");
        auto* cbMainB = d.findChild<QCheckBox*>("cbMainB");
        auto* cbTable = d.findChild<QCheckBox*>("cbTable");
        auto* cbChart = d.findChild<QCheckBox*>("cbChart");
        auto* lFile = d.findChild<QLineEdit*>("lFile");
        auto* bFile = d.findChild<QPushButton*>("bFile");
        auto* bOK = d.findChild<QPushButton*>("bOK");
        auto* bCancel = d.findChild<QPushButton*>("bCancel");
        QVERIFY(cbComments && teComments && cbMainA && cbMainB && cbTable && cbChart && lFile && bFile && bOK
                && bCancel);
        QVERIFY(d.findChild<QFrame*>("frame_2") && d.findChild<QFrame*>("frame"));
        QCOMPARE(cbComments->text(), QString("Комментарии"));
        QCOMPARE(cbMainA->text(), QString("Основные результаты А"));
        QCOMPARE(cbMainB->text(), QString("Основные результаты В"));
        QCOMPARE(cbTable->text(), QString("Таблица"));
        QCOMPARE(cbChart->text(), QString("Гистограммы"));
        QCOMPARE(bFile->text(), QString("..."));
        QCOMPARE(bOK->text(), QString("OK"));
        QCOMPARE(bCancel->text(), QString("Отмена"));
        QCOMPARE(bFile->maximumWidth(), 40);

        QVERIFY(!cbComments->isChecked());
        QVERIFY(!teComments->isEnabled());
        QVERIFY(cbMainA->isChecked() && cbMainB->isChecked() && cbTable->isChecked() && cbChart->isChecked());
        QVERIFY(!lFile->isEnabled());
        QVERIFY(!bOK->isEnabled());

        QVERIFY(!d.comments());
        QVERIFY(d.main_a() && d.main_b() && d.table() && d.chart());
        QVERIFY(d.comments_text().isEmpty());
        QVERIFY(d.file_name().isEmpty());
    }

    void file_choice_enables_ok_and_cancel_clears_it()
    {
        ReportDialog d;
        next_name = "/tmp/some report.pdf";
        QTest::mouseClick(d.form()->bFile, Qt::LeftButton);
        QCOMPARE(captions, QStringList{QCoreApplication::translate("ReportDialog", "Save File")});
        QCOMPARE(filters, QStringList{"Portable Document Format (*.pdf)"});
        QCOMPARE(d.file_name(), next_name);
        QCOMPARE(d.form()->lFile->text(), next_name);
        QVERIFY(d.form()->bOK->isEnabled());

        // Reopening the file dialog and cancelling it forgets the file.
        next_name.clear();
        d.bFileClicked();
        QVERIFY(d.file_name().isEmpty());
        QVERIFY(d.form()->lFile->text().isEmpty());
        QVERIFY(!d.form()->bOK->isEnabled());
    }

    void buttons_accept_and_reject()
    {
        ReportDialog d;
        next_name = "/tmp/r.pdf";
        d.bFileClicked();
        d.show();
        QTest::mouseClick(d.form()->bOK, Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        d.show();
        QTest::mouseClick(d.form()->bCancel, Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        // Neither resets the choices.
        QCOMPARE(d.file_name(), QString("/tmp/r.pdf"));
        QVERIFY(d.form()->bOK->isEnabled());
    }

    void boxes_follow_the_user()
    {
        ReportDialog d;
        d.form()->cbComments->click();
        QVERIFY(d.comments());
        QVERIFY(d.form()->teComments->isEnabled());
        d.form()->teComments->setPlainText("line one\nline two");
        QCOMPARE(d.comments_text(), QString("line one\nline two"));

        d.form()->cbMainA->click();
        d.form()->cbMainB->click();
        d.form()->cbTable->click();
        d.form()->cbChart->click();
        QVERIFY(!d.main_a() && !d.main_b() && !d.table() && !d.chart());
        d.form()->cbTable->click();
        QVERIFY(d.table() && !d.chart());

        d.form()->cbComments->click();
        QVERIFY(!d.comments());
        QVERIFY(!d.form()->teComments->isEnabled());
        // The text stays for the next time the box is ticked.
        QCOMPARE(d.comments_text(), QString("line one\nline two"));
    }
};

QTEST_MAIN(TstReportDialog)
#include "tst_reportdialog.moc"
