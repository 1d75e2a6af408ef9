#include "panels/settingsframe.h"

#include "device/device.h"
#include "panels/panelinput.h"
#include "proto/settingranges.h"
#include "ui_settingsframe.h"

#include <QPushButton>

const QString SettingsFrame::GREEN_STYLE =
    QStringLiteral("background-color: rgb(0, 200, 0);font: 10pt \"MS Shell Dlg 2\";");
const QString SettingsFrame::RED_STYLE =
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
    : QFrame(parent), ui_(new Ui::SettingsFrame), device_(device)
{
    ui_->setupUi(this);

    connect(ui_->cbPCP, &QComboBox::currentIndexChanged, this, &SettingsFrame::cbPCPIndexChanged);
    connect(ui_->cbRxTxSettings, &QCheckBox::toggled, this, &SettingsFrame::cbRxTxSettingsToggled);
    connect(ui_->rDateTime, &QRadioButton::toggled, this, &SettingsFrame::rDateTimeToggled);
    connect(ui_->cbPCP, &QComboBox::activated, this, &SettingsFrame::cbPCPActivated);
    connect(ui_->lWordSwitchLoop, &QLineEdit::textEdited, this, &SettingsFrame::lWordSwitchLoopTextEdited);
    connect(ui_->cbRxTxSettings, &QCheckBox::clicked, this, &SettingsFrame::cbRxTxSettingsClicked);
    connect(ui_->rCurrent, &QRadioButton::clicked, this, &SettingsFrame::rCurrentClicked);
    connect(ui_->rDateTime, &QRadioButton::clicked, this, &SettingsFrame::rDateTimeClicked);
    connect(ui_->lDay, &QLineEdit::textEdited, this, &SettingsFrame::lDayTextEdited);
    connect(ui_->lHour, &QLineEdit::textEdited, this, &SettingsFrame::lHourTextEdited);
    connect(ui_->lMin, &QLineEdit::textEdited, this, &SettingsFrame::lMinTextEdited);
    connect(ui_->lWordSwitchLoop, &QLineEdit::editingFinished, this, &SettingsFrame::lWordSwitchLoopEditingFinished);
    connect(ui_->lDay, &QLineEdit::editingFinished, this, &SettingsFrame::lDayEditingFinished);
    connect(ui_->lHour, &QLineEdit::editingFinished, this, &SettingsFrame::lHourEditingFinished);
    connect(ui_->lMin, &QLineEdit::editingFinished, this, &SettingsFrame::lMinEditingFinished);

    connect_bit_buttons(ui_->fBits0_15);
    connect_bit_buttons(ui_->fBits16_31);

    CommonSettings& c = device_->common;
    auto validator = [this](setting::Range r, const quint8& field) {
        return new FieldIntValidator(r.min, r.max, [at = &field] { return QString::number(*at); }, this);
    };
    ui_->lWordSwitchLoop->setValidator(validator(setting::WORD_SWITCH_LOOP, c.word_switch_loop));
    ui_->lDay->setValidator(validator(setting::MEAS_DAYS, c.meas_days));
    ui_->lHour->setValidator(validator(setting::MEAS_HOURS, c.meas_hours));
    ui_->lMin->setValidator(validator(setting::MEAS_MINUTES, c.meas_minutes));
}

SettingsFrame::~SettingsFrame() { delete ui_; }

void SettingsFrame::connect_bit_buttons(QWidget* frame)
{
    for (QObject* child : frame->children()) {
        if (!is_push_button(child))
            continue;
        connect(child, SIGNAL(clicked()), this, SLOT(bXXClicked()));
        if (auto* b = qobject_cast<QPushButton*>(child))
            b->setStyleSheet(RED_STYLE);
    }
}

void SettingsFrame::show_bit(QPushButton* button, bool set)
{
    button->setText(set ? QStringLiteral("1") : QStringLiteral("0"));
    button->setStyleSheet(set ? GREEN_STYLE : RED_STYLE);
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
    const CommonSettings& c = device_->common;
    ui_->cbPCP->setCurrentIndex(c.seq_type);
    show_bits(ui_->fBits0_15, c.word);
    ui_->lWordSwitchLoop->setText(QString::number(c.word_switch_loop));
    show_bits(ui_->fBits16_31, c.alt_word);
    ui_->cbRxTxSettings->setChecked(c.rxtx_jointly != 0);
    ui_->rDateTime->setChecked(c.timed_measurement != 0);
    ui_->rCurrent->setChecked(c.timed_measurement == 0);
    ui_->lDay->setText(QString::number(c.meas_days));
    ui_->lHour->setText(QString::number(c.meas_hours));
    ui_->lMin->setText(QString::number(c.meas_minutes));
}

void SettingsFrame::update_test_state()
{
    ui_->fTime->setEnabled(device_->common.test_running == 0);
}

void SettingsFrame::cbPCPIndexChanged(int index)
{
    const bool words = index == 4 || index == 5;
    ui_->fBits0_15->setEnabled(words);
    ui_->fBits16_31->setEnabled(words);
    ui_->lWordSwitchLoop->setEnabled(index == 5);
}

void SettingsFrame::cbRxTxSettingsToggled(bool state)
{
    emit rxtx_jointly_sw(state);
}

void SettingsFrame::rDateTimeToggled(bool state)
{
    ui_->lDay->setEnabled(state);
    ui_->lHour->setEnabled(state);
    ui_->lMin->setEnabled(state);
}

void SettingsFrame::cbPCPActivated(int index)
{
    if (index < 0 || index == device_->common.seq_type)
        return;
    device_->common.seq_type = quint8(index);
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
    quint16& field = n < 16 ? device_->common.word : device_->common.alt_word;
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
    if (!accepted_number(ui_->lWordSwitchLoop, text, &v))
        return;
    device_->common.word_switch_loop = quint8(v);
    emit set_seq_settings();
}

void SettingsFrame::cbRxTxSettingsClicked(bool state)
{
    device_->common.rxtx_jointly = state ? 1 : 0;
    emit set_base_settings();
    emit rxtx_jointly_usr(state);
}

void SettingsFrame::rCurrentClicked(bool state)
{
    device_->common.timed_measurement = state ? 0 : 1;
    emit set_base_settings();
}

void SettingsFrame::rDateTimeClicked(bool state)
{
    device_->common.timed_measurement = state ? 1 : 0;
    emit set_base_settings();
}

void SettingsFrame::lDayTextEdited(const QString& text)
{
    int v = 0;
    if (!accepted_number(ui_->lDay, text, &v))
        return;
    device_->common.meas_days = quint8(v);
    emit set_base_settings();
}

void SettingsFrame::lHourTextEdited(const QString& text)
{
    int v = 0;
    if (!accepted_number(ui_->lHour, text, &v))
        return;
    device_->common.meas_hours = quint8(v);
    emit set_base_settings();
}

void SettingsFrame::lMinTextEdited(const QString& text)
{
    int v = 0;
    if (!accepted_number(ui_->lMin, text, &v))
        return;
    device_->common.meas_minutes = quint8(v);
    emit set_base_settings();
}

void SettingsFrame::lWordSwitchLoopEditingFinished()
{
    if (settle_number(ui_->lWordSwitchLoop, device_->common.word_switch_loop))
        emit set_seq_settings();
}

void SettingsFrame::lDayEditingFinished()
{
    if (settle_number(ui_->lDay, device_->common.meas_days))
        emit set_base_settings();
}

void SettingsFrame::lHourEditingFinished()
{
    if (settle_number(ui_->lHour, device_->common.meas_hours))
        emit set_base_settings();
}

void SettingsFrame::lMinEditingFinished()
{
    if (settle_number(ui_->lMin, device_->common.meas_minutes))
        emit set_base_settings();
}
