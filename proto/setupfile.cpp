#include "proto/setupfile.h"

#include "proto/settingranges.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

#include <cmath>
#include <functional>
#include <limits>
#include <type_traits>

namespace {

const QString FORMAT = QStringLiteral("kelm-setup");
// Larger than any setup by far; a wrongly chosen file is not read whole.
constexpr qint64 MAX_FILE_SIZE = 1 << 20;

QString tr(const char* text) { return QCoreApplication::translate("SetupFile", text); }

enum class Kind { Number, Flag, Choice, Timeslots, Amplitude };

struct Choice {
    const char* name;
    int value;
};

// One setting: where it sits in the file, what it may hold, and how it reaches
// the setup (choices and flags as their model values, amplitudes in hundredths).
struct Field {
    QString path;   // keys from the top, joined by '.'
    Kind kind;
    setting::Range range;
    QList<Choice> choices;
    std::function<qint64(Setup&)> get;
    std::function<void(Setup&, qint64)> set;
};

CommonSettings& common_part(Setup& s, int) { return s.common; }
TxSettings& tx_part(Setup& s, int ch) { return s.tx[ch]; }
RxSettings& rx_part(Setup& s, int ch) { return s.rx[ch]; }

template <class Part, class M>
Field field(const QString& path, Kind kind, Part& (*part)(Setup&, int), int ch, M Part::*member,
            setting::Range range = {0, 1}, const QList<Choice>& choices = {})
{
    Field f{path, kind, range, choices, {}, {}};
    if constexpr (std::is_floating_point_v<M>) {
        f.get = [=](Setup& s) { return qint64(std::llround(part(s, ch).*member * 100.0)); };
        // The codec truncates amplitude x 100, and the nearest double of a
        // value in hundredths may lie just below it (2.55): the next double up
        // sends exactly the hundredths of the file and still shows them.
        f.set = [=](Setup& s, qint64 v) {
            part(s, ch).*member = v ? std::nextafter(v / 100.0, std::numeric_limits<double>::infinity()) : 0.0;
        };
    } else {
        f.get = [=](Setup& s) { return qint64(part(s, ch).*member); };
        f.set = [=](Setup& s, qint64 v) { part(s, ch).*member = M(v); };
    }
    return f;
}

const QList<Field>& fields()
{
    static const QList<Field> all = [] {
        using namespace setting;
        const QList<Choice> line_codes{{"AMI", 0}, {"HDB-3", 1}};
        const Range ZERO_MINUTES{0, MEAS_MINUTES.max};   // limited time needs MEAS_MINUTES; checked after
        QList<Field> l{
            field("common.sequence", Kind::Choice, common_part, 0, &CommonSettings::seq_type, {},
                  {{"PRBS 2^7-1", 0}, {"PRBS 2^11-1", 1}, {"PRBS 2^15-1", 2}, {"PRBS 2^20-1", 3},
                   {"double word", 4}, {"word + alt word", 5}, {"octet 55", 6}, {"PRBS 2^9-1", 7}}),
            field("common.word", Kind::Number, common_part, 0, &CommonSettings::word, WORD),
            field("common.alt_word", Kind::Number, common_part, 0, &CommonSettings::alt_word, WORD),
            field("common.word_switch_cycle", Kind::Number, common_part, 0, &CommonSettings::word_switch_loop,
                  WORD_SWITCH_LOOP),
            field("common.joint_rx_tx", Kind::Flag, common_part, 0, &CommonSettings::rxtx_jointly),
            field("common.limited_time", Kind::Flag, common_part, 0, &CommonSettings::timed_measurement),
            field("common.days", Kind::Number, common_part, 0, &CommonSettings::meas_days, MEAS_DAYS),
            field("common.hours", Kind::Number, common_part, 0, &CommonSettings::meas_hours, MEAS_HOURS),
            field("common.minutes", Kind::Number, common_part, 0, &CommonSettings::meas_minutes, ZERO_MINUTES),
        };
        for (int ch = 0; ch < 2; ++ch) {
            const QString t = ch ? "channel_b.transmitter." : "channel_a.transmitter.";
            const QString r = ch ? "channel_b.receiver." : "channel_a.receiver.";
            const QList<Choice> clocks = ch ? QList<Choice>{{"internal", 0}, {"RxB", 1}}
                                            : QList<Choice>{{"internal", 0}, {"RxA", 1}, {"RxB", 2}};
            l << field(t + "clock", Kind::Choice, tx_part, ch, &TxSettings::clock_source, {}, clocks)
              << field(t + "frequency_mode", Kind::Choice, tx_part, ch, &TxSettings::freq_mode, {},
                       {{"nominal", 0}, {"manual", 1}, {"auto", 2}})
              << field(t + "frequency_offset", Kind::Number, tx_part, ch, &TxSettings::freq_offset, FREQ_OFFSET)
              << field(t + "line_code", Kind::Choice, tx_part, ch, &TxSettings::line_code, {}, line_codes)
              << field(t + "inversion", Kind::Flag, tx_part, ch, &TxSettings::inversion)
              << field(t + "framing", Kind::Flag, tx_part, ch, &TxSettings::framing)
              << field(t + "cas", Kind::Flag, tx_part, ch, &TxSettings::cas)
              << field(t + "crc4", Kind::Flag, tx_part, ch, &TxSettings::crc4)
              << field(t + "timeslots", Kind::Timeslots, tx_part, ch, &TxSettings::timeslot_mask, TIMESLOT)
              << field(t + "error_mode", Kind::Choice, tx_part, ch, &TxSettings::err_mode, {},
                       {{"off", 0}, {"manual", 1}, {"auto", 2}})
              << field(t + "error_type", Kind::Choice, tx_part, ch, &TxSettings::err_type, {},
                       {{"binary", 0}, {"code", 1}, {"frame", 2}, {"CRC-4", 4}, {"E-bit", 5}})
              << field(t + "error_rate", Kind::Choice, tx_part, ch, &TxSettings::err_rate_exp, {},
                       {{"none", 0}, {"1e-3", 3}, {"1e-4", 4}, {"1e-5", 5}, {"1e-6", 6}, {"1e-7", 7}})
              << field(t + "defect", Kind::Flag, tx_part, ch, &TxSettings::defect_on)
              << field(t + "defect_type", Kind::Choice, tx_part, ch, &TxSettings::defect_type, {},
                       {{"AIS", 0}, {"RAI", 1}, {"MRAI", 2}});
            if (ch == 0)
                l << field(t + "jitter", Kind::Flag, tx_part, ch, &TxSettings::jitter_on)
                  << field(t + "jitter_amplitude_ui", Kind::Amplitude, tx_part, ch, &TxSettings::jitter_amplitude,
                           {0, int(JITTER_AMPLITUDE_MAX * 100)})
                  << field(t + "jitter_frequency_hz", Kind::Number, tx_part, ch, &TxSettings::jitter_freq,
                           JITTER_FREQ);
            else
                l << field(t + "sync_signal", Kind::Flag, tx_part, ch, &TxSettings::sync_signal);
            l << field(r + "line_code", Kind::Choice, rx_part, ch, &RxSettings::line_code, {}, line_codes)
              << field(r + "inversion", Kind::Flag, rx_part, ch, &RxSettings::inversion)
              << field(r + "extra_gain", Kind::Choice, rx_part, ch, &RxSettings::extra_gain, {},
                       {{"0 dB", 0}, {"20 dB", 1}, {"26 dB", 2}, {"32 dB", 3}})
              << field(r + "long_line", Kind::Flag, rx_part, ch, &RxSettings::long_line)
              << field(r + "framing", Kind::Flag, rx_part, ch, &RxSettings::framing)
              << field(r + "cas", Kind::Flag, rx_part, ch, &RxSettings::cas)
              << field(r + "crc4", Kind::Flag, rx_part, ch, &RxSettings::crc4)
              << field(r + "timeslots", Kind::Timeslots, rx_part, ch, &RxSettings::timeslot_mask, TIMESLOT);
        }
        return l;
    }();
    return all;
}

QString shown(const QJsonValue& v)
{
    const QByteArray a = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(a.mid(1, a.size() - 2));
}

QString range_text(setting::Range r) { return QString("%1..%2").arg(r.min).arg(r.max); }

QString allowed(const Field& f)
{
    switch (f.kind) {
    case Kind::Number: return range_text(f.range);
    case Kind::Flag: return "true, false";
    case Kind::Timeslots: return tr("a list of numbers %1").arg(range_text(f.range));
    case Kind::Amplitude:
        return QString("%1..%2").arg(f.range.min / 100.0, 0, 'f', 2).arg(f.range.max / 100.0, 0, 'f', 2);
    case Kind::Choice: break;
    }
    QStringList names;
    for (const Choice& c : f.choices)
        names << shown(QString::fromLatin1(c.name));
    return names.join(", ");
}

QString missing(const QString& path) { return tr("Field \"%1\" is missing.").arg(path); }

QString bad_value(const QString& path, const QJsonValue& v, const QString& allowed)
{
    return tr("Field \"%1\": the value %2 is not allowed (allowed: %3).").arg(path, shown(v), allowed);
}

// A whole number within `r`, as JSON numbers carry them.
bool whole_in(const QJsonValue& v, setting::Range r, qint64* out)
{
    const double d = v.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!(d >= r.min && d <= r.max) || d != std::floor(d))
        return false;
    *out = qint64(d);
    return true;
}

QJsonValue to_json(const Field& f, qint64 v)
{
    switch (f.kind) {
    case Kind::Number: return double(v);
    case Kind::Flag: return v != 0;
    case Kind::Amplitude: return v / 100.0;
    case Kind::Timeslots: {
        QJsonArray list;
        for (int n = f.range.min; n <= f.range.max; ++n)
            if (v & (qint64(1) << n))
                list.append(n);
        return list;
    }
    case Kind::Choice: break;
    }
    for (const Choice& c : f.choices)
        if (c.value == v)
            return QString::fromLatin1(c.name);
    // Nothing the panels offer: written as it is, and refused when read.
    return double(v);
}

// The model value of `v` for `f`, or false when `v` is not one of its values.
bool from_json(const Field& f, const QJsonValue& v, qint64* out, QJsonValue* culprit)
{
    *culprit = v;
    switch (f.kind) {
    case Kind::Number: return v.isDouble() && whole_in(v, f.range, out);
    case Kind::Flag:
        *out = v.toBool();
        return v.isBool();
    case Kind::Amplitude: {
        // Hundredths, as the panel takes them: 2.5 and 2.50 pass, 2.555 does not.
        const double h = v.toDouble(-1.0) * 100.0;
        if (!v.isDouble() || !(h >= f.range.min && h <= f.range.max))
            return false;
        *out = std::llround(h);
        return std::fabs(h - double(*out)) < 1e-6;
    }
    case Kind::Timeslots: {
        if (!v.isArray())
            return false;
        *out = 0;
        for (const QJsonValue& e : v.toArray()) {
            qint64 n = 0;
            if (!e.isDouble() || !whole_in(e, f.range, &n)) {
                *culprit = e;
                return false;
            }
            *out |= qint64(1) << n;
        }
        return true;
    }
    case Kind::Choice: break;
    }
    for (const Choice& c : f.choices)
        if (v.isString() && v.toString() == QLatin1String(c.name)) {
            *out = c.value;
            return true;
        }
    return false;
}

void put(QJsonObject& o, QStringList keys, const QJsonValue& v)
{
    const QString k = keys.takeFirst();
    if (keys.isEmpty()) {
        o[k] = v;
        return;
    }
    QJsonObject child = o[k].toObject();
    put(child, keys, v);
    o[k] = child;
}

// The first key under `prefix` that is no field and holds none, with its value.
bool unknown_key(const QJsonObject& o, const QString& prefix, const QSet<QString>& known, QString* key,
                 QJsonValue* value)
{
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString path = prefix.isEmpty() ? it.key() : prefix + '.' + it.key();
        if (!known.contains(path)) {
            *key = path;
            *value = it.value();
            return true;
        }
        if (it->isObject() && unknown_key(it->toObject(), path, known, key, value))
            return true;
    }
    return false;
}

} // namespace

Setup setup_of(const Model& m)
{
    Setup s{m.common, {m.tx[0], m.tx[1]}, {m.rx[0], m.rx[1]}};
    // The panel shows codes 3, 6 and 7 as frame, CRC-4 and E-bit errors; a
    // setup keeps what is shown.
    for (TxSettings& t : s.tx)
        if (t.err_type == 3 || t.err_type == 6 || t.err_type == 7)
            t.err_type = t.err_type == 3 ? 2 : t.err_type - 2;
    return s;
}

void apply_setup(const Setup& s, Model* m)
{
    const quint8 running = m->common.test_running;
    m->common = s.common;
    m->common.test_running = running;
    const quint8 sync_a = m->tx[0].sync_signal;
    const TxSettings jitter_b = m->tx[1];
    m->tx[0] = s.tx[0];
    m->tx[0].sync_signal = sync_a;
    m->tx[1] = s.tx[1];
    m->tx[1].jitter_on = jitter_b.jitter_on;
    m->tx[1].jitter_amplitude = jitter_b.jitter_amplitude;
    m->tx[1].jitter_freq = jitter_b.jitter_freq;
    for (int ch = 0; ch < 2; ++ch) {
        RxSettings& r = m->rx[ch];
        const quint32 slot0 = r.timeslot_mask & 1u;
        r = s.rx[ch];
        r.timeslot_mask = (s.rx[ch].timeslot_mask & ~1u) | slot0;
        // As the receiver panel does in joint mode.
        if (s.common.rxtx_jointly)
            follow_transmitter(s.tx[ch], &r);
    }
}

QByteArray setup_to_json(const Setup& s)
{
    Setup copy = s;
    QJsonObject root{{"format", FORMAT}, {"version", SETUP_VERSION}};
    for (const Field& f : fields())
        put(root, f.path.split('.'), to_json(f, f.get(copy)));
    // Timeslot lists on one line each: a column of 31 numbers reads badly.
    QString text = QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
    static const QRegularExpression list(R"(\[([\d,\s]*)\])");
    static const QRegularExpression space(R"(\s+)");
    QString out;
    qsizetype from = 0;
    for (const QRegularExpressionMatch& m : list.globalMatch(text)) {
        out += text.mid(from, m.capturedStart() - from);
        out += '[' + m.captured(1).replace(space, " ").replace(" ,", ",").trimmed() + ']';
        from = m.capturedEnd();
    }
    return (out + text.mid(from)).toUtf8();
}

bool setup_from_json(const QByteArray& text, Setup* s, QString* error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = tr("The file is not a setup file: %1.")
                     .arg(pe.error != QJsonParseError::NoError
                              ? tr("%1 at byte %2").arg(pe.errorString()).arg(pe.offset)
                              : tr("no JSON object"));
        return false;
    }
    const QJsonObject root = doc.object();
    auto header = [&](const QString& key, const QJsonValue& want) {
        if (!root.contains(key))
            *error = missing(key);
        else if (root.value(key) != want)
            *error = bad_value(key, root.value(key), shown(want));
        else
            return true;
        return false;
    };
    if (!header("format", FORMAT) || !header("version", SETUP_VERSION))
        return false;

    QSet<QString> known{"format", "version"};
    for (const Field& f : fields()) {
        QStringList keys = f.path.split('.');
        for (; !keys.isEmpty(); keys.removeLast())
            known.insert(keys.join('.'));
    }
    // A misspelt key would otherwise be reported as some other key missing,
    // and a key of a later format would be dropped unseen.
    QString unknown;
    QJsonValue unknown_value;
    if (unknown_key(root, QString(), known, &unknown, &unknown_value)) {
        *error = tr("Field \"%1\" (value %2) is not a setting of this program.").arg(unknown, shown(unknown_value));
        return false;
    }

    Setup out;
    for (const Field& f : fields()) {
        QJsonValue v = root;
        QString at;
        for (const QString& k : f.path.split('.')) {
            if (!v.isObject()) {
                *error = bad_value(at, v, tr("an object"));
                return false;
            }
            if (!v.toObject().contains(k)) {
                *error = missing(f.path);
                return false;
            }
            v = v.toObject().value(k);
            at = at.isEmpty() ? k : at + '.' + k;
        }
        qint64 value = 0;
        QJsonValue culprit;
        if (!from_json(f, v, &value, &culprit)) {
            *error = bad_value(f.path, culprit, allowed(f));
            return false;
        }
        f.set(out, value);
    }
    if (out.common.timed_measurement && !setting::MEAS_MINUTES.holds(out.common.meas_minutes)) {
        *error = tr("Field \"%1\": the value %2 is not allowed with a limited measurement time (allowed: %3).")
                     .arg("common.minutes")
                     .arg(out.common.meas_minutes)
                     .arg(range_text(setting::MEAS_MINUTES));
        return false;
    }
    *s = out;
    return true;
}

bool save_setup_file(const QString& path, const Setup& s, QString* error)
{
    const QByteArray text = setup_to_json(s);
    Setup check;
    if (!setup_from_json(text, &check, error)) {
        *error = tr("The current settings cannot be saved. %1").arg(*error);
        return false;
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit()) {
        *error = tr("The file %1 cannot be written: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool load_setup_file(const QString& path, Setup* s, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = tr("The file %1 cannot be read: %2").arg(path, f.errorString());
        return false;
    }
    const QByteArray text = f.read(MAX_FILE_SIZE + 1);
    if (text.size() > MAX_FILE_SIZE) {
        *error = tr("The file %1 is too large for a setup file.").arg(path);
        return false;
    }
    return setup_from_json(text, s, error);
}
