#include "settings/optionsdialog.h"

#include "shell/core/units.h"
#include "ui_optionsdialog.h"

#include <QRegularExpressionValidator>

#include <charconv>
#include <string>

namespace velocimo {

namespace {

QString fromU16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

void setNumber(QLineEdit* edit, int32_t value) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    edit->setText(QString::fromLatin1(digits, static_cast<qsizetype>(end - digits)));
}

// An unsigned whole number; empty or anything else gives 0. The edits take at most nine
// digits, so every value they can hold fits the 32-bit field.
int32_t readNumber(const QLineEdit* edit) {
    const std::string text = edit->text().trimmed().toStdString();
    uint32_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != last || value > 999999999u) {
        return 0;
    }
    return static_cast<int32_t>(value);
}

} // namespace

OptionsDialog::OptionsDialog(Settings& settings, FilePicker& picker, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::OptionsDialog>()), m_settings(settings),
      m_picker(picker) {
    m_ui->setupUi(this);
    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    QLineEdit* const numbers[] = {m_ui->edit1001, m_ui->edit1002, m_ui->edit1003,
                                  m_ui->edit1007, m_ui->edit1008, m_ui->edit1011};
    const int32_t values[] = {settings.speedLimits[0], settings.speedLimits[1],
                              settings.speedLimits[2], settings.maxSpeed,
                              settings.maxElevation,   settings.elevationOffset};
    for (int i = 0; i < 6; ++i) {
        numbers[i]->setValidator(digits);
        setNumber(numbers[i], values[i]);
    }

    for (int port = 0; port <= 9; ++port) {
        m_ui->combo1012->addItem(QStringLiteral("COM%1:").arg(port));
    }
    // A stored number outside the list selects nothing; OK then keeps it.
    m_ui->combo1012->setCurrentIndex(
        settings.comPort >= 0 && settings.comPort <= 9 ? settings.comPort : -1);
    m_ui->combo1005->addItems(
        {QStringLiteral("knots"), QStringLiteral("km/h"), QStringLiteral("mph")});
    // The list is in the order of the stored numbers; an unknown one selects nothing.
    m_ui->combo1005->setCurrentIndex(unitSystemFrom(settings.units) ? settings.units : -1);
    m_ui->combo1018->addItems({QStringLiteral("Fix"), QStringLiteral("Fix Lost"),
                               QStringLiteral("Warn"), QStringLiteral("Over")});
    m_ui->combo1018->setCurrentIndex(-1);
    m_ui->edit1006->clear();

    m_ui->check1023->setChecked(settings.autoConnect == 1);
    m_ui->check1024->setChecked(settings.continuousOverSound);
    m_ui->check1026->setChecked(settings.sirfSetup);

    connect(m_ui->combo1018, &QComboBox::currentIndexChanged, this, [this] { showSelectedPath(); });
    connect(m_ui->combo1018, &QComboBox::activated, this, [this] { showSelectedPath(); });
    connect(m_ui->button1009, &QPushButton::clicked, this, [this] {
        const int slot = selectedSlot();
        if (slot >= 0) {
            chooseSoundFile(slot);
        }
    });
    connect(m_ui->button1010, &QPushButton::clicked, this, [this] {
        // The stored path plays, not whatever the edit shows.
        if (PathText* field = soundField(selectedSlot())) {
            emit soundPlayRequested(std::u16string(field->view()));
        }
    });
    connect(m_ui->button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->button2, &QPushButton::clicked, this, &QDialog::reject);
}

OptionsDialog::~OptionsDialog() = default;

int OptionsDialog::selectedSlot() const {
    return m_ui->combo1018->currentIndex();
}

PathText* OptionsDialog::soundField(int slot) {
    switch (slot) {
    case SoundFix:
        return &m_settings.soundFixPath;
    case SoundLostFix:
        return &m_settings.soundLostFixPath;
    case SoundWarn:
        return &m_settings.soundWarnPath;
    case SoundOver:
        return &m_settings.soundOverPath;
    default:
        return nullptr;
    }
}

void OptionsDialog::showSelectedPath() {
    if (const PathText* field = soundField(selectedSlot())) {
        m_ui->edit1006->setText(fromU16(field->view()));
    }
}

void OptionsDialog::chooseSoundFile(int slot) {
    PathText* field = soundField(slot);
    if (!field) {
        return;
    }
    FileRequest request;
    request.title = u"Sound";
    request.filterName = u"WAV Files (*.wav)";
    request.filterPattern = u"*.wav";
    const std::u16string path = m_picker.openFile(request);
    // A path the field cannot hold whole would name another file: keep the old one.
    if (path.empty() || path.size() > PathText::kCapacity) {
        return;
    }
    field->assign(path);
    m_ui->edit1006->setText(fromU16(field->view()));
}

void OptionsDialog::accept() {
    if (const int units = m_ui->combo1005->currentIndex(); units >= 0) {
        m_settings.units = units;
    }
    emit unitsChanged();
    if (const int port = m_ui->combo1012->currentIndex(); port >= 0) {
        m_settings.comPort = port;
    }
    emit portChanged();
    m_settings.autoConnect = m_ui->check1023->isChecked() ? 1 : 0;
    m_settings.continuousOverSound = m_ui->check1024->isChecked();
    m_settings.sirfSetup = m_ui->check1026->isChecked();
    m_settings.speedLimits[0] = readNumber(m_ui->edit1001);
    m_settings.speedLimits[1] = readNumber(m_ui->edit1002);
    m_settings.speedLimits[2] = readNumber(m_ui->edit1003);
    m_settings.maxSpeed = readNumber(m_ui->edit1007);
    m_settings.maxElevation = readNumber(m_ui->edit1008);
    m_settings.elevationOffset = readNumber(m_ui->edit1011);
    emit saveRequested();
    QDialog::accept();
}

} // namespace velocimo
