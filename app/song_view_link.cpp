#include "app/song_view_link.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSpinBox>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/song_commands.h"
#include "app/window_fields.h"
#include "engine/mml.h"
#include "project/project_fields.h"
#include "song/note_map.h"
#include "song/song_assembly.h"

namespace bleeptone {

namespace {

const QString kSizeKey = QStringLiteral("songViewSize");

// The window's fields with every Mute box off: the view draws muted channels too (dimmed).
class UnmutedFields : public ProjectFields {
public:
    explicit UnmutedFields(const ProjectFields& fields) : fields_(fields) {}
    QString text(int number) const override { return control::isMuteBox(number) ? "0" : fields_.text(number); }
    void setText(int, const QString&) override {}
    int state(int number) const override { return control::isMuteBox(number) ? 0 : fields_.state(number); }
    void setState(int, int) override {}

private:
    const ProjectFields& fields_;
};

QPlainTextEdit* editorOf(MainWindow& window, int channel) {
    return static_cast<QPlainTextEdit*>(window.controls().widget(control::channelEditor(channel)));
}

}  // namespace

SongViewLink::SongViewLink(MainWindow& window, SongCommands& song, const PlayOptions& options,
                           std::function<void(const AppEvent&)> submit)
    : QObject(&window), window_(window), song_(song), options_(options), submit_(std::move(submit)) {
    rebuild_.setSingleShot(true);
    rebuild_.setInterval(SongCommands::kLiveEditDelayMs);
    connect(&rebuild_, &QTimer::timeout, this, &SongViewLink::rebuild);
    // Every field of the song, however it changes (typing, a demo loaded,
    // undo): the map is rebuilt a moment after the last change. The
    // keystroke itself only restarts the timer.
    ControlTable& c = window_.controls();
    for (const ProjectField& field : projectFields()) {
        if (field.number == control::ProjectInfo) continue;
        QWidget* w = c.widget(field.number);
        if (auto* editor = qobject_cast<QPlainTextEdit*>(w))
            connect(editor, &QPlainTextEdit::textChanged, this, &SongViewLink::documentChanged);
        else if (auto* line = qobject_cast<QLineEdit*>(w))
            connect(line, &QLineEdit::textChanged, this, &SongViewLink::documentChanged);
        else if (auto* spin = qobject_cast<QSpinBox*>(w))
            connect(spin, &QSpinBox::valueChanged, this, &SongViewLink::documentChanged);
        else if (auto* list = qobject_cast<QComboBox*>(w))
            connect(list, &QComboBox::currentIndexChanged, this, &SongViewLink::documentChanged);
        else if (auto* box = qobject_cast<QCheckBox*>(w))
            connect(box, &QCheckBox::toggled, this, &SongViewLink::documentChanged);
    }
    for (int ch = 1; ch <= 4; ++ch) {
        QPlainTextEdit* editor = editorOf(window_, ch);
        connect(editor, &QPlainTextEdit::cursorPositionChanged, this, &SongViewLink::showCaret);
        connect(editor, &QPlainTextEdit::selectionChanged, this, &SongViewLink::showCaret);
    }
    connect(&song_, &SongCommands::loopRangeChanged, this, &SongViewLink::showLoopRange);
}

SongViewLink::~SongViewLink() {
    if (!view_) return;
    QSettings().setValue(kSizeKey, view_->size());
    view_->disconnect(this);
    delete view_;
}

void SongViewLink::show(bool shown) {
    if (!shown) {
        if (view_) view_->close();
        return;
    }
    if (!view_) {
        view_ = new SongViewWindow();
        view_->setAttribute(Qt::WA_DeleteOnClose);
        // The keys of playing work there as in the main window: F5, Escape,
        // and F6, which closes it as it opened it.
        for (const int item : {menu::PlayOrStop, menu::StopPlaying, menu::SongView})
            view_->addAction(window_.menuItem(item));
        const QSize size = QSettings().value(kSizeKey).toSize();
        if (size.isValid()) view_->resize(size.expandedTo(view_->minimumSize()));
        connect(view_, &SongViewWindow::closed, this, [this] {
            QSettings().setValue(kSizeKey, view_->size());
            emit closed();
        });
        SongCanvas* canvas = view_->canvas();
        connect(canvas, &SongCanvas::placeRequested, this, [this](const EditorPlace& place) {
            submit_(AppEvent::goToPlace(place.channel, place.verse, place.column));
        });
        connect(canvas, &SongCanvas::playRequested, this,
                [this](std::uint64_t frame) { submit_(AppEvent::playFromMoment(static_cast<std::int64_t>(frame))); });
        connect(canvas, &SongCanvas::noteClicked, this, [this](int voice, std::size_t index) {
            const auto& notes = view_->canvas()->content().map.channels[static_cast<std::size_t>(voice)].notes;
            if (index < notes.size()) emit noteClicked(voice, notes[index]);
        });
        canvas->setMarkers(markers_);
        connect(canvas, &SongCanvas::loopRangeRequested, this, [this](std::uint64_t start, std::uint64_t end) {
            submit_(AppEvent::loopRange(static_cast<std::int64_t>(start), static_cast<std::int64_t>(end)));
        });
        rebuild();
        showLoopRange();
    }
    view_->show();
    view_->raise();
}

void SongViewLink::setMarkers(std::vector<SongMarker> markers) {
    markers_ = std::move(markers);
    if (view_) view_->canvas()->setMarkers(markers_);
}

void SongViewLink::showFindings(const TuneFindings& findings) {
    std::vector<SongMarker> markers;
    for (const TuneFinding& f : findings)
        if (f.frame && f.place.channel >= 1 && f.place.channel <= 4)
            markers.push_back({f.place.channel - 1, *f.frame, f.message});
    setMarkers(std::move(markers));
}

void SongViewLink::documentChanged() {
    if (view_) rebuild_.start();
}

void SongViewLink::rebuild() {
    rebuild_.stop();
    if (!view_) return;
    const WindowFields fields(window_.controls());
    SongViewContent content;
    content.map = mapSong(assembleSongWithMap(UnmutedFields(fields)));
    bool anyMuted = false;
    for (int ch = 1; ch <= 4; ++ch) {
        content.muted[static_cast<std::size_t>(ch - 1)] = fields.state(control::muteBox(ch)) != 0;
        anyMuted = anyMuted || content.muted[static_cast<std::size_t>(ch - 1)];
    }
    // The song's length is that of what plays.
    content.songLength = anyMuted ? mapSong(assembleSongWithMap(fields)).songLength : content.map.songLength;
    // A quarter note at the song's tempo lasts (18 - tempo) x 8 ticks (mmlNoteTicks).
    const int tempo = fields.state(control::TempoBox);
    const std::uint64_t quarter = static_cast<std::uint64_t>(mmlNoteTicks(tempo, 4, false)) * kTickSamples;
    content.beatsPerMeasure = fields.state(control::MeasureBox) + 2;  // 2/4, 3/4, 4/4
    content.measureFrames = quarter * static_cast<std::uint64_t>(content.beatsPerMeasure);
    content.beatsPerMinute = quarter > 0 ? 60.0 * kSampleRate / static_cast<double>(quarter) : 0;
    view_->setContent(std::move(content));
    passageSong_ = 0;  // the passage's place in the song is looked up again
    showCaret();
}

void SongViewLink::showCaret() {
    // While the map waits to be rebuilt its places are out of date; the
    // rebuild shows the caret again.
    if (!view_ || rebuild_.isActive()) return;
    ControlTable& c = window_.controls();
    int channel = control::channelOfEditor(c.focused());
    if (channel == 0) return;
    QPlainTextEdit* editor = editorOf(window_, channel);
    const QTextCursor cursor = editor->textCursor();
    const QString text = editor->toPlainText();
    SongCanvas* canvas = view_->canvas();
    canvas->setCaret(editorPlaceAt(text, channel, cursor.position()));
    if (cursor.hasSelection()) {
        const EditorPlace start = editorPlaceAt(text, channel, cursor.selectionStart());
        canvas->setSelection(start, cursor.selectionEnd() - cursor.selectionStart());
    } else {
        canvas->setSelection(std::nullopt, 0);
    }
}

void SongViewLink::showLoopRange() {
    if (view_) view_->canvas()->setLoopRange(song_.loopRange());
}

void SongViewLink::goTo(int channel, int verse, int column) {
    if (channel < 1 || channel > 4) return;
    QPlainTextEdit* editor = editorOf(window_, channel);
    const int offset = editorOffset(editor->toPlainText(), verse, column);
    if (offset < 0) return;
    window_.raise();
    window_.activateWindow();
    editor->setFocus(Qt::OtherFocusReason);
    window_.controls().setSelection(control::channelEditor(channel), offset, 0);
    editor->ensureCursorVisible();
    showCaret();  // the caret may have stood there already
}

std::optional<std::uint64_t> SongViewLink::viewFrame(const NowPlaying& now, std::uint64_t songFrame) {
    const NoteMap& map = view_->canvas()->content().map;
    if (!now.passage) {
        // A song that loops as a whole plays its first pass again and again.
        if (map.stop == NoteMapStop::Looped && map.frames > 0) return songFrame % map.frames;
        return songFrame;
    }
    // A passage: from where its first note plays in the song.
    if (passageSong_ != now.song) {
        passageSong_ = now.song;
        passageStart_.reset();
        for (const MappedChannel& ch : map.channels) {
            if (ch.channel != now.passageChannel) continue;
            for (const MappedNote& n : ch.notes)
                if (n.place && n.place->verse == now.passage->verse && n.place->column >= now.passage->column) {
                    passageStart_ = n.start;
                    break;
                }
        }
    }
    if (!passageStart_) return std::nullopt;
    return *passageStart_ + songFrame;
}

void SongViewLink::showHeard(std::optional<std::uint32_t> song, std::uint64_t songFrame) {
    if (!view_) return;
    SongCanvas* canvas = view_->canvas();
    const NowPlaying& now = song_.nowPlaying();
    if (!song || *song != now.song) {
        canvas->setPlayhead(std::nullopt, false);
        return;
    }
    const std::uint32_t lit = now.passage ? 1u << (now.passageChannel - 1) : 0xFu;
    canvas->setPlayhead(viewFrame(now, songFrame), options_.followPlayback, lit);
}

}  // namespace bleeptone
