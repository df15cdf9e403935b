#include "qtsoundplayer.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QSoundEffect>
#include <QUrl>

namespace velocimo {

namespace {

// A handful of paths is all the program uses; more only come from trying files in Options.
constexpr std::size_t kMaxCachedEffects = 8;

} // namespace

QtSoundPlayer::QtSoundPlayer(QObject* parent) : QObject(parent) {}

QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::stop() {
    if (m_current != nullptr) {
        m_current->stop();
    }
}

void QtSoundPlayer::start(std::u16string_view path) {
    const QString file = QString::fromUtf16(path.data(), static_cast<qsizetype>(path.size()));
    auto it = m_effects.find(file);
    // A sound made once plays from memory (or, where it failed, plays nothing): the warning
    // repeats every second, and looking at its file each time would cost more than playing it.
    if (it != m_effects.end()) {
        m_current = it->second.get();
        m_current->play();
        return;
    }
    // Unreadable files would only make the effect log a decoding error: play nothing instead.
    const QFileInfo info(file);
    if (file.isEmpty() || !info.isFile() || !info.isReadable()) {
        return;
    }
    if (it == m_effects.end()) {
        if (m_effects.size() >= kMaxCachedEffects) {
            for (auto old = m_effects.begin(); old != m_effects.end();) {
                old = old->second.get() == m_current ? std::next(old) : m_effects.erase(old);
            }
        }
        auto effect = std::make_unique<QSoundEffect>();
        effect->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
        it = m_effects.emplace(file, std::move(effect)).first;
    }
    m_current = it->second.get();
    // Loading is asynchronous; a play requested before it finishes starts once it has.
    m_current->play();
}

QSoundEffect* QtSoundPlayer::effectFor(const QString& path) const {
    const auto it = m_effects.find(path);
    return it == m_effects.end() ? nullptr : it->second.get();
}

QtFixSoundRelay::QtFixSoundRelay(SoundPlayer& player, const Settings& settings, QObject* parent)
    : QObject(parent), m_player(player), m_settings(settings), m_relay([this] {
          // Posting an event is safe from any thread and never waits for the main thread.
          QMetaObject::invokeMethod(
              this, [this] { drainNow(); }, Qt::QueuedConnection);
      }) {}

FixSoundEvent QtFixSoundRelay::drainNow() {
    return m_relay.drain(m_player, m_settings);
}

} // namespace velocimo
