#pragma once
// Codec of the instrument's packets: builds command frames from the data model
// and opens reply frames into it. Stateless; the model belongs to the parent.

#include "proto/wire.h"

#include <QByteArray>
#include <QObject>

class ModelHost;

class Proto : public QObject {
    Q_OBJECT
public:
    explicit Proto(ModelHost* parent);

    // Complete frame for a command code, or an empty array for an unknown code.
    // `argument` is the record number of a record request and unused otherwise.
    QByteArray encode(quint8 code, qint32 argument = 0);

    // Checks and opens a reply, decodes it into the model and returns its code,
    // or 0 when the frame is rejected or its code is unknown.
    quint8 decode(QByteArray frame);

signals:
    void user_toggle_test();

private:
    ModelHost* host() const;
    void decode_results(int channel, const uchar* p);
    void decode_record(const uchar* p);
    void decode_cfg_a(const uchar* p);
    void decode_cfg_b(const uchar* p);
    void decode_cfg_channel(int channel, const uchar* p);
};
