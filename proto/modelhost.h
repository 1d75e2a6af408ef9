#pragma once
// The object that owns the data model. The codec is created as its child and
// reaches the model through its parent; the device link derives from it.

#include "proto/model.h"

#include <QObject>

class ModelHost : public QObject, public Model {
    Q_OBJECT
public:
    explicit ModelHost(QObject* parent = nullptr) : QObject(parent) {}

    // True after construction and after every disconnection; the first
    // channel-A configuration reply of a connection clears it.
    bool first_cfg_pending = true;
};
