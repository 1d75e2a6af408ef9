#include "settingsframe.h"

#include "device.h"
#include "panelinput.h"
#include "settingranges.h"
#include "ui_settingsframe.h"

#include <QPushButton>

const QString SettingsFrame::green_style =
    QStringLiteral("background-color: rgb(0, 200, 0);font: 10pt \"MS Shell Dlg 2\";");
const QString SettingsFrame::red_style =
    QStringLiteral("background-color: rgb(200, 0, 0);font: 10pt \"MS Shell Dlg 2\";");

namespace {

bool is_push_button(const QObject* o)
{
    return QString::fromLatin1(o->metaObject()->className()).contains(QLatin1String("QPushButton"));
}

// Bit number of a bit button from its object name ("b20" gives 20); -1 if none.
int bit_of(const QObject* button)
{
    if (!button)
        return -1;
    QString name = button->objectName();
    name.remove(QLatin1Char('b'));
    bool ok = false;
    const int n = name.toInt(&ok);
    return ok && n >= 0 && n < 32 ? n : -1;
}

} // namespace

SettingsFrame::SettingsFrame(Device* device, QWidget* parent)
    : QFrame(parent), ui(new Ui::SettingsFrame), device(device)
{
    ui->setupUi(this);

    connect(ui->cbPCP, &QComboBox::currentIndexChanged, this, &SettingsFrame::cbPCPIndexChanged);
    connect(ui->cbRxTxSettings, &QCheckBox::toggled, this, &SettingsFrame::cbRxTxSettingsToggled);
    connect(ui->rDateTime, &QRadioButton::toggled, this, &SettingsFrame::rDateTimeToggled);
    connect(ui->cbPCP, &QComboBox::activated, this, &SettingsFrame::cbPCPActivated);
    connect(ui->lWordSwitchLoop, &QLineEdit::textEdited, this, &SettingsFrame::lWordSwitchLoopTextEdited);
    connect(ui->cbRxTxSettings, &QCheckBox::clicked, this, &SettingsFrame::cbRxTxSettingsClicked);
    connect(ui->rCurrent, &QRadioButton::clicked, this, &SettingsFrame::rCurrentClicked);
    connect(ui->rDateTime, &QRadioButton::clicked, this, &SettingsFrame::rDateTimeClicked);
    connect(ui->lDay, &QLineEdit::textEdited, this, &SettingsFrame::lDayTextEdited);
    connect(ui->lHour, &QLineEdit::textEdited, this, &SettingsFrame::lHourTextEdited);
    connect(ui->lMin, &QLineEdit::textEdited, this, &SettingsFrame::lMinTextEdited);
    connect(ui->lWordSwitchLoop, &QLineEdit::editingFinished, this, &SettingsFrame::lWordSwitchLoopEditingFinished);
    connect(ui->lDay, &QLineEdit::editingFinished, this, &SettingsFrame::lDayEditingFinished);
    connect(ui->lHour, &QLineEdit::editingFinished, this, &SettingsFrame::lHourEditingFinished);
    connect(ui->lMin, &QLineEdit::editingFinished, this, &SettingsFrame::lMinEditingFinished);

    connect_bit_buttons(ui->fBits0_15);
    connect_bit_buttons(ui->fBits16_31);

    CommonSettings& c = device->common;
    auto validator = [this](setting::Range r, const quint8& field) {
        return new FieldIntValidator(r.min, r.max, [at = &field] { return QString::number(*at); }, this);
    };
    ui->lWordSwitchLoop->setValidator(validator(setting::WORD_SWITCH_LOOP, c.word_switch_loop));
    ui->lDay->setValidator(validator(setting::MEAS_DAYS, c.meas_days));
    ui->lHour->setValidator(validator(setting::MEAS_HOURS, c.meas_hours));
    ui->lMin->setValidator(validator(setting::MEAS_MINUTES, c.meas_minutes));
}

SettingsFrame::~SettingsFrame() { delete ui; }

void SettingsFrame::connect_bit_buttons(QWidget* frame)
{
    for (QObject* child : frame->children()) {
        if (!is_push_button(child))
            continue;
        connect(child, SIGNAL(clicked()), this, SLOT(bXXClicked()));
        if (auto* b = qobject_cast<QPushButton*>(child))
            b->setStyleSheet(red_style);
    }
}

void SettingsFrame::show_bit(QPushButton* button, bool set)
{
    button->setText(set ? QStringLiteral("1") : QStringLiteral("0"));
    button->setStyleSheet(set ? green_style : red_style);
}

void SettingsFrame::show_bits(QWidget* frame, quint16 value)
{
    for (QObject* child : frame->children()) {
        auto* b = qobject_cast<QPushButton*>(child);
        const int n = bit_of(child);
        if (!b || !is_push_button(child) || n < 0)
            continue;
        const quint16 bit = quint16(1u << (n < 16 ? n : n - 16));
        show_bit(b, value & bit);
    }
}

void SettingsFrame::update_form()
{
    const CommonSettings& c = device->common;
    ui->cbPCP->setCurrentIndex(c.seq_type);
    show_bits(ui->fBits0_15, c.word);
    ui->lWordSwitchLoop->setText(QString::number(c.word_switch_loop));
    show_bits(ui->fBits16_31, c.alt_word);
    ui->cbRxTxSettings->setChecked(c.rxtx_jointly != 0);
    ui->rDateTime->setChecked(c.timed_measurement != 0);
    ui->rCurrent->setChecked(c.timed_measurement == 0);
    ui->lDay->setText(QString::number(c.meas_days));
    ui->lHour->setText(QString::number(c.meas_hours));
    ui->lMin->setText(QString::number(c.meas_minutes));
}

void SettingsFrame::update_test_state()
{
    ui->fTime->setEnabled(device->common.test_running == 0);
}

void SettingsFrame::cbPCPIndexChanged(int index)
{
    const bool words = index == 4 || index == 5;
    ui->fBits0_15->setEnabled(words);
    ui->fBits16_31->setEnabled(words);
    ui->lWordSwitchLoop->setEnabled(index == 5);
}

void SettingsFrame::cbRxTxSettingsToggled(bool state)
{
    emit rxtx_jointly_sw(state);
}

void SettingsFrame::rDateTimeToggled(bool state)
{
    ui->lDay->setEnabled(state);
    ui->lHour->setEnabled(state);
    ui->lMin->setEnabled(state);
}

void SettingsFrame::cbPCPActivated(int index)
{
    if (index < 0 || index == device->common.seq_type)
        return;
    device->common.seq_type = quint8(index);
    emit set_seq_settings();
}

void SettingsFrame::bXXClicked()
{
    auto* b = qobject_cast<QPushButton*>(sender());
    const int n = bit_of(b);
    if (!b || n < 0)
        return;
    const bool was_set = b->text().toInt() != 0;
    show_bit(b, !was_set);
    quint16& field = n < 16 ? device->common.word : device->common.alt_word;
    const quint16 bit = quint16(1u << (n < 16 ? n : n - 16));
    if (was_set)
        field &= quint16(~bit);
    else
        field |= bit;
    emit set_seq_settings();
}

void SettingsFrame::lWordSwitchLoopTextEdited(const QString& text)
{
    int v = 0;
    if (!accepted_number(ui->lWordSwitchLoop, text, &v))
        return;
    device->common.word_switch_loop = quint8(v);
    emit set_seq_settings();
}

void SettingsFrame::cbRxTxSettingsClicked(bool state)
{
    device->common.rxtx_jointly = state ? 1 : 0;
    emit set_base_settings();
    emit rxtx_jointly_usr(state);
}

void SettingsFrame::rCurrentClicked(bool state)
{
    device->common.timed_measurement = state ? 0 : 1;
    emit set_base_settings();
}

void SettingsFrame::rDateTimeClicked(bool state)
{
    device->common.timed_measurement = state ? 1 : 0;
    emit set_base_settings();
}

void SettingsFrame::lDayTextEdited(const QString& text)
{
    int v = 0;
    if (!accepted_number(ui->lDay, text, &v))
        return;
    device->common.meas_days = quint8(v);
    emit set_base_settings();
}

void SettingsFrame::lHourTextEdited(const QString& text)
{
    int v = 0;
    if (!accepted_number(ui->lHour, text, &v))
        return;
    device->common.meas_hours = quint8(v);
    emit set_base_settings();
}

void SettingsFrame::lMinTextEdited(const QString& text)
{
    int v = 0;
    if (!accepted_number(ui->lMin, text, &v))
        return;
    device->common.meas_minutes = quint8(v);
    emit set_base_settings();
}

void SettingsFrame::lWordSwitchLoopEditingFinished()
{
    if (settle_number(ui->lWordSwitchLoop, device->common.word_switch_loop))
        emit set_seq_settings();
}

void SettingsFrame::lDayEditingFinished()
{
    if (settle_number(ui->lDay, device->common.meas_days))
        emit set_base_settings();
}

void SettingsFrame::lHourEditingFinished()
{
    if (settle_number(ui->lHour, device->common.meas_hours))
        emit set_base_settings();
}

void SettingsFrame::lMinEditingFinished()
{
    if (settle_number(ui->lMin, device->common.meas_minutes))
        emit set_base_settings();
}
