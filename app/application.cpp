#include "app/application.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QFileOpenEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include "app/app_commands.h"
#include "app/audition.h"
#include "app/autosave.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/dispatcher.h"
#include "app/document.h"
#include "app/engine_pump.h"
#include "app/info_bar_updater.h"
#include "app/main_window.h"
#include "app/midi_commands.h"
#include "app/playback_view.h"
#include "app/recent_files.h"
#include "app/screenshot.h"
#include "app/song_commands.h"
#include "app/song_view_link.h"
#include "app/tune_problems.h"
#include "app/undo_history.h"
#include "app/window_fields.h"
#include "engine/engine.h"
#include "song/note_map.h"
#include "ui/aux_windows.h"

// The images live in a static library: register them by hand.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace bleeptone {

QString recoveryFolder() { return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/recovery"; }

bool displayCheckPasses(const std::vector<int>& screenHeights) {
    for (auto it = screenHeights.rbegin(); it != screenHeights.rend(); ++it)
        if (*it >= 768) return true;
    return false;
}

Application::Application(Dialogs& dialogs) : dialogs_(dialogs) {}

Application::~Application() { shutdown(); }

bool Application::start(const Options& options) {
    std::vector<int> heights = options.screenHeights;
    if (heights.empty())
        for (const QScreen* s : QGuiApplication::screens()) heights.push_back(s->geometry().height());
    if (!displayCheckPasses(heights)) {
        dialogs_.error("Minimum resolution is 1024x768.");
        return false;
    }

    engine_ = Engine::create();
    if (options.outputFactory) engine_->setOutputFactory(options.outputFactory);
    const InitOutcome init = engine_->PSG_Init(options.audio);
    if (init.result == InitResult::SilentFallback || init.result == InitResult::NoOutput)
        dialogs_.error("Unable to initialize PSG");

    state_ = AppState{};
    window_ = std::make_unique<MainWindow>();
    // Commands reach the loop only by posting (or, for the user's own
    // requests, submitting) events; the loop is made last, once the commands exist.
    auto post = [this](const AppEvent& e) { dispatcher_->post(e); };
    auto submit = [this](const AppEvent& e) { dispatcher_->submit(e); };
    document_ = std::make_unique<Document>(*window_, dialogs_, state_.requests, post);
    song_ = std::make_unique<SongCommands>(*window_, dialogs_, state_.requests.refresh, state_.options, *engine_,
                                           *document_, post);
    infoBarUpdater_ = new InfoBarUpdater(*window_);
    aux_ = std::make_unique<AuxWindows>([submit](int w) { submit(AppEvent::close(w)); },
                                        [submit] { submit(AppEvent::control(control::ModuleCopyLink)); },
                                        AboutInfo{BLEEPTONE_VERSION, MainWindow::websiteUrl()},
                                        window_->playContextItem());
    fields_ = std::make_unique<WindowFields>(window_->controls());
    autosave_ = std::make_unique<Autosave>(options.recoveryDir.isEmpty() ? recoveryFolder() : options.recoveryDir,
                                           *fields_, options.autosaveDelayMs);
    if (!autosave_->start())
        std::fprintf(stderr, "bleeptone: no recovery copies of unsaved work: %s\n", qPrintable(autosave_->lastError()));
    document_->setEditedListener([this](bool edited) {
        if (edited) autosave_->changed(document_->currentPath(), window_->title());
        else autosave_->discard();
    });
    recent_ = std::make_unique<RecentFiles>();
    recent_->setListener([this](const QStringList& files) { window_->setRecentFiles(files); });
    window_->setRecentFiles(recent_->files());
    // The Play menu's check items as the last run left them.
    const QSettings settings;
    PlayOptions& play = state_.options;
    play.loopPlayback = settings.value(optionKey(menu::LoopPlayback), false).toBool();
    play.followPlayback = settings.value(optionKey(menu::FollowPlayback), true).toBool();
    play.hearNotes = settings.value(optionKey(menu::HearNotes), true).toBool();
    window_->menuItem(menu::LoopPlayback)->setChecked(play.loopPlayback);
    window_->menuItem(menu::FollowPlayback)->setChecked(play.followPlayback);
    window_->menuItem(menu::HearNotes)->setChecked(play.hearNotes);
    for (const int item : {menu::Oscilloscope, menu::SongView})
        window_->menuItem(item)->setChecked(settings.value(optionKey(item), false).toBool());
    document_->setRecentFiles(recent_.get());
    history_ = new UndoHistory(*window_);  // owned by the window
    document_->setHistory(history_);
    connect(history_, &UndoHistory::changed, this, [this] { document_->followHistory(history_->documentEdited()); });
    audition_ = new Audition(*window_, *engine_, *song_, state_.options);      // owned by the window
    playback_ = new PlaybackView(*window_, *engine_, *song_, state_.options);  // owned by the window
    connect(playback_, &PlaybackView::oscilloscopeClosed, this, [this] {
        window_->menuItem(menu::Oscilloscope)->setChecked(false);
        QSettings().setValue(optionKey(menu::Oscilloscope), false);
    });
    problems_ = new TuneProblems(*window_, post);  // owned by the window
    infoBarUpdater_->setProblems(problems_);
    midi_ = std::make_unique<MidiCommands>(*window_, dialogs_, *document_, *song_, submit);
    songView_ = new SongViewLink(*window_, *song_, state_.options, submit);  // owned by the window
    playback_->setSongView(songView_);
    connect(problems_, &TuneProblems::changed, songView_, [this] { songView_->showFindings(problems_->findings()); });
    connect(songView_, &SongViewLink::closed, this, [this] {
        window_->menuItem(menu::SongView)->setChecked(false);
        QSettings().setValue(optionKey(menu::SongView), false);
    });
    // A keyboard's note is heard as a typed one, a note clicked in the song view as well.
    connect(midi_.get(), &MidiCommands::noteWritten, audition_,
            [this](int channel, int position) { audition_->auditionWritten(channel, position); });
    connect(songView_, &SongViewLink::noteClicked, audition_, [this](int, const MappedNote& note) {
        if (note.kind == NoteKind::Note && note.place) audition_->auditionAt(*note.place);
    });
    commands_ =
        std::make_unique<AppCommands>(*window_, dialogs_, *document_, *song_, *infoBarUpdater_, *aux_, *autosave_,
                                      *recent_, *playback_, *problems_, *midi_, *songView_, *history_);
    dispatcher_ = std::make_unique<Dispatcher>(*window_, dialogs_, state_, *commands_);
    dispatcher_->setLeaveLoop([] { QCoreApplication::exit(0); });
    window_->setEventSink(submit);
    window_->setOpenRequest([this](const QString& paths) { openDocuments(paths); });
    pump_ = std::make_unique<EnginePump>(*engine_, [submit](std::int64_t data) { submit(AppEvent::engine(data)); });
    // A lost sound device is told on a line of the window, the music plays on.
    pump_->setOutputListener([this](bool silent) {
        window_->setOutputNotice(silent ? QStringLiteral("The sound device stopped; playing on silently.") : QString());
    });
    // The engine's events at the playing pace at once.
    connect(song_.get(), &SongCommands::started, pump_.get(), &EnginePump::poll);
    qApp->installEventFilter(this);
    if (window_->menuItem(menu::Oscilloscope)->isChecked()) playback_->showOscilloscope(true);
    if (window_->menuItem(menu::SongView)->isChecked()) songView_->show(true);
    dispatcher_->post(AppEvent::recoverWork());
    return true;
}

void Application::shutdown() {
    // Ending normally, saved or not, leaves no work to recover.
    if (autosave_) autosave_->discard();
    pump_.reset();
    aux_.reset();
    if (song_) song_->stopClock();
    if (engine_) engine_->PSG_Terminate();
}

void Application::openDocuments(const QString& paths) {
    state_.pendingPath = paths;
    dispatcher_->submit(AppEvent::openDocuments());
}

bool Application::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FileOpen && dispatcher_) {
        openDocuments(static_cast<QFileOpenEvent*>(event)->file());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

int runWindow(int argc, char** argv) {
    initResources();
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Bleeptone");
    QApplication::setApplicationName("Bleeptone");
    QGuiApplication::setDesktopFileName("io.github.bleeptone.Bleeptone");
    QApplication::setWindowIcon(QIcon(":/icons/bleeptone.png"));

    QCommandLineParser parser;
    parser.setApplicationDescription("Compose retro video-game tunes in Music Macro Language.");
    parser.addHelpOption();
    parser.addPositionalArgument("project", "A project (.mmlp) to open.", "[PROJECT.mmlp]");
    const QCommandLineOption audio("audio", "Sound output: portaudio (default) or null (silent).", "output");
    const QCommandLineOption screenshot("screenshot", "Save a picture of a window once shown, then quit.", "file");
    const QCommandLineOption screenshotOf(
        "screenshot-of", "The window --screenshot pictures: main (default), help, module, about or songview.", "window",
        "main");
    const QCommandLineOption type("type", "Type this text into channel 1 before the picture (\\n for Return).", "text");
    parser.addOption(audio);
    parser.addOption(screenshot);
    parser.addOption(screenshotOf);
    parser.addOption(type);
    parser.process(app);

    Application::Options options;
    options.audio = audioBackendFromEnvironment();
    if (parser.isSet(audio)) {
        const auto chosen = parseAudioBackend(parser.value(audio).toStdString());
        if (!chosen) {
            std::fprintf(stderr, "bleeptone: unknown audio output '%s' (portaudio or null)\n",
                         qPrintable(parser.value(audio)));
            return 2;
        }
        options.audio = *chosen;
    }

    QtDialogs dialogs;
    Application application(dialogs);
    if (!application.start(options)) return 1;
    MainWindow& window = application.window();
    dialogs.setParent(&window);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.frameGeometry().center() + window.pos());
    window.show();
    window.raise();
    window.activateWindow();

    if (!parser.positionalArguments().isEmpty()) application.openDocuments(parser.positionalArguments().join('\t'));
    if (parser.isSet(screenshot)) {
        ScreenshotRequest request{parser.value(screenshot), parser.value(screenshotOf),
                                  parser.value(type).replace("\\n", "\n")};
        if (!isScreenshotWindow(request.window)) {
            std::fprintf(stderr, "bleeptone: unknown window '%s' (main, help, module, about or songview)\n",
                         qPrintable(request.window));
            return 2;
        }
        scheduleScreenshot(application, request);
    }
    const int code = QApplication::exec();
    application.shutdown();
    return code;
}

}  // namespace bleeptone
