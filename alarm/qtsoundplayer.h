#pragma once

// The Qt Multimedia side of the alarm: the WAV player and the main-thread end of the fix
// sound relay.

#include "alarm/fixsoundrelay.h"
#include "alarm/speedalarm.h"

#include <QObject>
#include <QString>

#include <map>
#include <memory>

class QSoundEffect;

namespace velocimo {

// Plays 16-bit PCM WAV files through QSoundEffect, one effect kept per path so a repeated
// sound starts quickly. Lives on the main thread. Without a sound device or server the
// effects fail quietly; nothing here waits for the audio system.
class QtSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT
public:
    explicit QtSoundPlayer(QObject* parent = nullptr);
    ~QtSoundPlayer() override;

    void stop() override;
    void start(std::u16string_view path) override;

    // The effect that plays (or last played) path, or null; for tests.
    QSoundEffect* effectFor(const QString& path) const;

private:
    std::map<QString, std::unique_ptr<QSoundEffect>> m_effects;
    QSoundEffect* m_current = nullptr;
};

// Owns a FixSoundRelay whose wake-up queues a drain on this object's (main) thread.
// Hand sink() to the decoder and the link; the sounds play through player with the paths
// of settings as they stand when the queued call runs. player and settings must outlive
// this object.
class QtFixSoundRelay : public QObject {
    Q_OBJECT
public:
    QtFixSoundRelay(SoundPlayer& player, const Settings& settings, QObject* parent = nullptr);

    FixSoundSink& sink() { return m_relay; }

    // Plays whatever is pending now; normally run by the queued wake-up.
    FixSoundEvent drainNow();

private:
    SoundPlayer& m_player;
    const Settings& m_settings;
    FixSoundRelay m_relay;
};

} // namespace velocimo
