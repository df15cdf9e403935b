#pragma once

// GPS > Receiver...: the source of the selected port, its line speed and the two sentence
// switches, with a plain-words warning beside the source before anything is opened.

#include "gpslink/receiverprobe.h"

#include <QDialog>

#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace velocimo {

struct ReceiverChoice {
    // The Ports entry: a device path, gpsd://HOST:PORT or tcp://HOST:PORT.
    std::string source;
    // 0: automatic.
    int32_t baudRate = 4800;
    bool anyTalker = false;
    bool verifyChecksum = false;

    friend bool operator==(const ReceiverChoice&, const ReceiverChoice&) = default;
};

class ReceiverDialog : public QDialog {
    Q_OBJECT
public:
    ReceiverDialog(const QString& portName, const ReceiverChoice& current, ProbeEnvironment env,
                   QWidget* parent = nullptr);

    // What the fields say now (what OK hands over).
    ReceiverChoice choice() const;
    // The warning shown beside the source; empty when nothing is wrong.
    QString problemText() const;
    // Checks the chosen source again.
    void probe();

private:
    void sourceChanged();
    bool networkChosen() const;

    ProbeEnvironment m_env;
    QComboBox* m_source = nullptr;
    QLabel* m_problem = nullptr;
    QLabel* m_hostLabel = nullptr;
    QLineEdit* m_host = nullptr;
    QLabel* m_portLabel = nullptr;
    QSpinBox* m_port = nullptr;
    QComboBox* m_baud = nullptr;
    QCheckBox* m_anyTalker = nullptr;
    QCheckBox* m_checksum = nullptr;
};

} // namespace velocimo
