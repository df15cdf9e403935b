#include "gpslink/receiverdialog.h"

#include "gpslink/netsource.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velocimo {

namespace {

constexpr const char* kTcpItem = "tcp:";
constexpr const char* kLocalGpsd = "gpsd://localhost:2947";
constexpr int32_t kRates[] = {0, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

QString fromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

ReceiverDialog::ReceiverDialog(const QString& portName, const ReceiverChoice& current,
                               ProbeEnvironment env, QWidget* parent)
    : QDialog(parent), m_env(std::move(env)) {
    setWindowTitle(QStringLiteral("Receiver"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Port:"), new QLabel(portName, this));

    m_source = new QComboBox(this);
    m_source->setObjectName(QStringLiteral("source"));
    SourceAddress address;
    const bool parsed = parseSourceAddress(current.source, address);
    bool currentListed = false;
    for (const DeviceEntry& d : listSerialDevices(m_env)) {
        m_source->addItem(fromStd(d.label), fromStd(d.path));
        currentListed = currentListed || d.path == current.source;
    }
    if (parsed && address.kind == SourceKind::Device && !currentListed && !current.source.empty()) {
        m_source->insertItem(0, fromStd(current.source), fromStd(current.source));
    }
    m_source->addItem(QStringLiteral("gpsd on this computer"), QString::fromUtf8(kLocalGpsd));
    const std::string gpsdEntry = parsed ? formatSourceAddress(address) : std::string();
    if (parsed && address.kind == SourceKind::Gpsd && gpsdEntry != kLocalGpsd) {
        m_source->addItem(QStringLiteral("gpsd on ") + fromStd(address.host) + QStringLiteral(":") +
                              QString::number(address.port),
                          fromStd(gpsdEntry));
    }
    m_source->addItem(QStringLiteral("Network (TCP)..."), QString::fromUtf8(kTcpItem));
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    // The dark red of the day is hard to read on the night palette.
    const bool dark = QApplication::palette().color(QPalette::Window).lightness() < 128;
    m_problem->setStyleSheet(dark ? QStringLiteral("color: #ff7070;")
                                  : QStringLiteral("color: #b00000;"));
    m_problem->setMinimumWidth(220);
    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(m_source, 1);
    form->addRow(QStringLiteral("Source:"), sourceRow);
    form->addRow(QString(), m_problem);

    m_host = new QLineEdit(this);
    m_host->setObjectName(QStringLiteral("host"));
    m_host->setPlaceholderText(QStringLiteral("phone or computer address"));
    m_port = new QSpinBox(this);
    m_port->setObjectName(QStringLiteral("tcpPort"));
    m_port->setRange(1, 65535);
    m_port->setValue(10110);
    m_hostLabel = new QLabel(QStringLiteral("Host:"), this);
    m_portLabel = new QLabel(QStringLiteral("TCP port:"), this);
    form->addRow(m_hostLabel, m_host);
    form->addRow(m_portLabel, m_port);

    m_baud = new QComboBox(this);
    m_baud->setObjectName(QStringLiteral("baudRate"));
    for (int32_t rate : kRates) {
        m_baud->addItem(rate == 0 ? QStringLiteral("Automatic") : QString::number(rate), rate);
    }
    if (m_baud->findData(current.baudRate) < 0) {
        m_baud->addItem(QString::number(current.baudRate), current.baudRate);
    }
    m_baud->setCurrentIndex(m_baud->findData(current.baudRate));
    form->addRow(QStringLiteral("Baud rate:"), m_baud);

    m_anyTalker = new QCheckBox(QStringLiteral("Accept all satellite systems"), this);
    m_anyTalker->setObjectName(QStringLiteral("anyTalker"));
    m_anyTalker->setChecked(current.anyTalker);
    m_checksum = new QCheckBox(QStringLiteral("Check sentence checksums"), this);
    m_checksum->setObjectName(QStringLiteral("verifyChecksum"));
    m_checksum->setChecked(current.verifyChecksum);
    form->addRow(QString(), m_anyTalker);
    form->addRow(QString(), m_checksum);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    int index = m_source->findData(fromStd(current.source));
    if (parsed && address.kind == SourceKind::Gpsd) {
        index = m_source->findData(fromStd(gpsdEntry));
    } else if (parsed && address.kind == SourceKind::Tcp) {
        index = m_source->findData(QString::fromUtf8(kTcpItem));
        m_host->setText(fromStd(address.host));
        m_port->setValue(address.port);
    }
    m_source->setCurrentIndex(index < 0 ? 0 : index);
    connect(m_source, &QComboBox::currentIndexChanged, this, [this] { sourceChanged(); });
    connect(m_host, &QLineEdit::editingFinished, this, [this] { probe(); });
    connect(m_port, &QSpinBox::editingFinished, this, [this] { probe(); });
    sourceChanged();
}

bool ReceiverDialog::networkChosen() const {
    return m_source->currentData().toString() == QString::fromUtf8(kTcpItem);
}

void ReceiverDialog::sourceChanged() {
    const bool tcp = networkChosen();
    m_hostLabel->setVisible(tcp);
    m_host->setVisible(tcp);
    m_portLabel->setVisible(tcp);
    m_port->setVisible(tcp);
    probe();
}

ReceiverChoice ReceiverDialog::choice() const {
    ReceiverChoice c;
    if (networkChosen()) {
        SourceAddress a{SourceKind::Tcp, m_host->text().trimmed().toStdString(),
                        static_cast<uint16_t>(m_port->value())};
        c.source = formatSourceAddress(a);
    } else {
        c.source = m_source->currentData().toString().toStdString();
    }
    c.baudRate = m_baud->currentData().toInt();
    c.anyTalker = m_anyTalker->isChecked();
    c.verifyChecksum = m_checksum->isChecked();
    return c;
}

QString ReceiverDialog::problemText() const {
    return m_problem->text();
}

void ReceiverDialog::probe() {
    if (networkChosen() && m_host->text().trimmed().isEmpty()) {
        m_problem->setText(QStringLiteral("enter the address of the phone or server"));
        return;
    }
    m_problem->setText(fromStd(describeProblem(diagnoseSource(choice().source, m_env))));
}

} // namespace velocimo
