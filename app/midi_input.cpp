#include "app/midi_input.h"

#include "app/midi_note_queue.h"

#include <QRegularExpression>

#include <RtMidi.h>
#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <array>
#include <atomic>
#include <cstdint>

namespace bleeptone {

namespace {

constexpr int kDrainMs = 5;
constexpr int kWatchMs = 1000;
const char* const kClientName = "Bleeptone";

void onMessage(double delta, std::vector<unsigned char>* bytes, void* queue) {
    if (bytes) static_cast<NoteQueue*>(queue)->message(*bytes, delta);
}

// RtMidi's warnings (no server, a port gone) are the state the menu shows.
void quietRtMidi(RtMidiError::Type, const std::string&, void*) {}
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
void quietJack(const char*) {}

// RtMidi reports a missing sequencer or server on standard error as it
// gives up; these ask first, quietly.
bool alsaAnswers() {
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, 0) < 0) return false;
    snd_seq_close(seq);
    return true;
}

bool jackAnswers() {
    jack_client_t* client = jack_client_open("bleeptone-probe", JackNoStartServer, nullptr);
    if (!client) return false;
    jack_client_close(client);
    return true;
}

bool answers(RtMidi::Api api) { return api == RtMidi::LINUX_ALSA ? alsaAnswers() : jackAnswers(); }

std::unique_ptr<RtMidiIn> makeIn(RtMidi::Api api) {
    if (!answers(api)) return nullptr;
    try {
        auto in = std::make_unique<RtMidiIn>(api, kClientName);
        in->setErrorCallback(quietRtMidi, nullptr);
        return in;
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

// A port's name without the ALSA client and port numbers, which change
// when a keyboard is plugged in again.
QString stableName(RtMidi::Api api, const std::string& name) {
    QString n = QString::fromStdString(name);
    if (api == RtMidi::LINUX_ALSA) n.remove(QRegularExpression(QStringLiteral(" \\d+:\\d+$")));
    return n;
}

const struct {
    RtMidi::Api api;
    const char* prefix;
} kApis[] = {{RtMidi::LINUX_ALSA, "ALSA"}, {RtMidi::UNIX_JACK, "JACK"}};

}  // namespace

struct MidiInput::Backend {
    NoteQueue queue;
    std::array<std::unique_ptr<RtMidiIn>, 2> listers;  // by kApis
    std::unique_ptr<RtMidiIn> reader;
    QString readerKey;

    ~Backend() { reader.reset(); }  // the callback stops before the queue goes

    RtMidiIn* lister(std::size_t i, bool retry) {
        if (!listers[i] && retry) listers[i] = makeIn(kApis[i].api);
        return listers[i].get();
    }

    // The index of a port by its key in an instance's list, or -1.
    static int indexOf(RtMidiIn& in, RtMidi::Api api, const QString& name) {
        const unsigned count = in.getPortCount();
        for (unsigned i = 0; i < count; ++i)
            if (stableName(api, in.getPortName(i)) == name) return static_cast<int>(i);
        return -1;
    }

    bool open(const QString& key) {
        reader.reset();
        readerKey.clear();
        queue.reset();
        for (const auto& a : kApis) {
            const QString prefix = QString::fromLatin1(a.prefix) + ':';
            if (!key.startsWith(prefix)) continue;
            std::unique_ptr<RtMidiIn> in = makeIn(a.api);
            if (!in) return false;
            const int index = indexOf(*in, a.api, key.mid(prefix.size()));
            if (index < 0) return false;
            in->ignoreTypes(true, true, true);
            in->setCallback(onMessage, &queue);
            in->openPort(static_cast<unsigned>(index), "MIDI In");
            if (!in->isPortOpen()) return false;
            reader = std::move(in);
            readerKey = key;
            return true;
        }
        return false;
    }
};

MidiInput::MidiInput(QObject* parent) : QObject(parent), backend_(std::make_unique<Backend>()) {
    // Missing devices and servers are reported here, not on standard error.
    snd_lib_error_set_handler(quietAlsa);
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
    drainTimer_.setInterval(kDrainMs);
    connect(&drainTimer_, &QTimer::timeout, this, &MidiInput::drain);
    watchTimer_.setInterval(kWatchMs);
    connect(&watchTimer_, &QTimer::timeout, this, &MidiInput::watchPorts);
}

MidiInput::~MidiInput() = default;

QList<MidiPort> MidiInput::ports() {
    QList<MidiPort> list;
    for (std::size_t i = 0; i < std::size(kApis); ++i) {
        RtMidiIn* in = backend_->lister(i, true);
        if (!in) continue;
        const unsigned count = in->getPortCount();
        for (unsigned p = 0; p < count; ++p) {
            const QString name = stableName(kApis[i].api, in->getPortName(p));
            if (name.isEmpty()) continue;
            list.push_back({QString::fromLatin1(kApis[i].prefix) + ':' + name,
                            name + QStringLiteral(" (%1)").arg(QString::fromLatin1(kApis[i].prefix))});
        }
    }
    return list;
}

void MidiInput::choose(const QString& key) {
    chosen_ = key;
    if (chosen_.isEmpty()) {
        watchTimer_.stop();
    } else if (!watchTimer_.isActive()) {
        watchTimer_.start();
    }
    known_ = ports();
    reopen();
}

bool MidiInput::listening() const { return backend_->reader != nullptr; }

std::uint64_t MidiInput::dropped() const { return backend_->queue.dropped(); }

void MidiInput::reopen() {
    const bool was = listening();
    const bool present = std::any_of(known_.begin(), known_.end(), [&](const MidiPort& p) { return p.key == chosen_; });
    if (!present || chosen_.isEmpty()) {
        backend_->reader.reset();
        backend_->readerKey.clear();
    } else if (backend_->readerKey != chosen_) {
        backend_->open(chosen_);
    }
    if (listening())
        drainTimer_.start();
    else
        drainTimer_.stop();
    if (listening() != was) emit listeningChanged(listening());
}

void MidiInput::watchPorts() {
    const QList<MidiPort> now = ports();
    if (now != known_) {
        known_ = now;
        reopen();
        emit portsChanged();
    }
}

void MidiInput::drain() {
    NoteQueue::Slot slot;
    while (backend_->queue.pop(slot)) {
        const bool chordBegun = chords_.pending();
        const std::optional<PlayedNote> done = chords_.press(slot.note, slot.velocity, slot.stamp);
        if (!chordBegun || done) chordHeld_.start();  // this key begins a chord
        if (done) emit notePlayed(done->note, done->velocity);
    }
    if (!chords_.pending()) return;
    if (const auto note = chords_.flush(chordHeld_.elapsed() / 1000.0)) emit notePlayed(note->note, note->velocity);
}

}  // namespace bleeptone
