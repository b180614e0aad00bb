// SPDX-License-Identifier: GPL-3.0-or-later
// nura-viewer: plays the camera's recordings from its card.
// usage: nura-viewer [DIR] [--play FILE [--drive]] [--map | --drives] [--fullscreen]
//                    [--screenshot FILE] [--quit-after SECONDS]
//        nura-viewer RECORDING.mp4 [--map] [--fullscreen] [--screenshot FILE] [--quit-after SECONDS]
//        nura-viewer --settings [--config FILE] [--tab NAME] [--screenshot FILE] [--quit-after SECONDS]

#include "core/media/ORBMediaList.h"
#include "core/version.h"
#include "platform/MediaPlayer.h"
#include "platform/PathText.h"
#include "platform/VlcMediaPlayer.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/settings/ORBSettingController.h"
#include "ui/views/TKMapView.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Help and version need no window: they are answered before the display is opened, so that they work
// on a console without one.
bool asksOnlyForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--") {
            break;
        }
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v" || arg == "--version") {
            return true;
        }
    }
    return false;
}

// The file names of the command line as its own bytes: Qt's arguments() and QFile::encodeName lose bytes
// that are not UTF-8, and a name that lost them names another file. Read after the application has taken
// its own options out of argv, with the parser's rules: --NAME VALUE or --NAME=VALUE, "--" ends options.
struct RawNames {
    std::optional<std::string> config, play, positional;
};

RawNames rawNames(int argc, char** argv) {
    RawNames out;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            const auto eq = arg.find('=');
            const std::string_view name = arg.substr(0, eq);
            const bool takesValue = name == "--play" || name == "--config" || name == "--screenshot" ||
                                    name == "--quit-after" || name == "--tab";
            std::optional<std::string> value;
            if (eq != std::string_view::npos) {
                value = std::string(arg.substr(eq + 1));
            } else if (takesValue && i + 1 < argc) {
                value = std::string(argv[++i]);
            }
            if (name == "--config") {
                out.config = value;
            } else if (name == "--play") {
                out.play = value;
            }
        } else if (!out.positional) {
            out.positional = std::string(arg);
        }
    }
    return out;
}

// The name from the root, without "." parts or doubled slashes (".." stays: a link may come before it).
std::string absoluteName(const std::string& name) {
    std::string whole = name;
    if (name.empty() || name.front() != '/') {
        std::string cwd(4096, '\0');
        if (!::getcwd(cwd.data(), cwd.size())) {
            return name;
        }
        cwd.resize(std::char_traits<char>::length(cwd.c_str()));
        whole = cwd + "/" + name;
    }
    std::string out;
    size_t at = 0;
    while (at < whole.size()) {
        const size_t end = std::min(whole.find('/', at), whole.size());
        const std::string_view part(whole.data() + at, end - at);
        if (!part.empty() && part != ".") {
            out.append("/").append(part);
        }
        at = end + 1;
    }
    return out.empty() ? "/" : out;
}

// The last part of a name, as the recordings list reads names.
std::string_view baseName(std::string_view name) {
    const auto slash = name.rfind('/');
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

// The folder that holds an absolute name.
std::string_view folderOf(std::string_view name) {
    const auto slash = name.rfind('/');
    return slash == 0 || slash == std::string_view::npos ? std::string_view("/") : name.substr(0, slash);
}

bool endsWithMp4(std::string_view name) {
    if (name.size() < 4 || name[name.size() - 4] != '.') {
        return false;
    }
    const std::string_view suffix = name.substr(name.size() - 3);
    return (suffix[0] | 0x20) == 'm' && (suffix[1] | 0x20) == 'p' && suffix[2] == '4';
}

} // namespace

int main(int argc, char** argv) {
    const bool textOnly = asksOnlyForText(argc, argv);
    const std::unique_ptr<QCoreApplication> application = textOnly
                                                              ? std::make_unique<QCoreApplication>(argc, argv)
                                                              : std::make_unique<QApplication>(argc, argv);
    QCoreApplication& app = *application;
    QCoreApplication::setOrganizationName(QStringLiteral("nura"));
    QCoreApplication::setApplicationName(QStringLiteral("nura-viewer"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(nura::kVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays a dash camera's recordings from its card."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("DIR"),
        QStringLiteral("Folder of recordings to open (the card), or one recording to play from its folder."));
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Save a picture of the main window before quitting."),
                                  QStringLiteral("FILE"));
    QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                 QStringLiteral("Quit after this many seconds."), QStringLiteral("SECONDS"));
    QCommandLineOption play(QStringLiteral("play"),
                            QStringLiteral("Once DIR is listed, play this recording of it."),
                            QStringLiteral("FILE"));
    parser.addOption(screenshot);
    parser.addOption(quitAfter);
    QCommandLineOption settingsOption(QStringLiteral("settings"),
                                      QStringLiteral("Open the camera settings window alone."));
    QCommandLineOption configOption(
        QStringLiteral("config"),
        QStringLiteral("With --settings: edit this settings file instead of the card's."),
        QStringLiteral("FILE"));
    QCommandLineOption tabOption(
        QStringLiteral("tab"),
        QStringLiteral("With --settings: the tab to show (video, basic, gps, aux, park, adas, audio, info)."),
        QStringLiteral("NAME"));
    parser.addOption(settingsOption);
    parser.addOption(configOption);
    parser.addOption(tabOption);
    parser.addOption(play);
    QCommandLineOption mapOption(QStringLiteral("map"),
                                 QStringLiteral("Show the map instead of the recordings list."));
    parser.addOption(mapOption);
    QCommandLineOption drivesOption(QStringLiteral("drives"),
                                    QStringLiteral("Show the drives instead of the recordings list."));
    parser.addOption(drivesOption);
    QCommandLineOption fullScreenOption(QStringLiteral("fullscreen"),
                                        QStringLiteral("Start in full screen (Escape leaves it)."));
    parser.addOption(fullScreenOption);
    QCommandLineOption driveOption(
        QStringLiteral("drive"),
        QStringLiteral("With --play, the slider runs over the recording's whole drive (the remembered "
                       "choice stays as it is)."));
    parser.addOption(driveOption);
    parser.process(app);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/app-icon.png")));
    const QStringList tabNames = {QStringLiteral("video"), QStringLiteral("basic"), QStringLiteral("gps"),
                                  QStringLiteral("aux"),   QStringLiteral("park"),  QStringLiteral("adas"),
                                  QStringLiteral("audio"), QStringLiteral("info")};
    const int tab = parser.isSet(tabOption) ? static_cast<int>(tabNames.indexOf(parser.value(tabOption))) : 0;
    if (tab < 0) {
        std::fprintf(stderr, "nura-viewer: --tab must be one of %s\n", qPrintable(tabNames.join(", ")));
        return 2;
    }
    if ((parser.isSet(configOption) || parser.isSet(tabOption)) && !parser.isSet(settingsOption)) {
        std::fprintf(stderr, "nura-viewer: --config and --tab go with --settings\n");
        return 2;
    }

    const RawNames raw = rawNames(argc, argv);
    // The names go on as their own bytes, held in text that gives them back unchanged.
    QString folder;
    QString playFile = raw.play ? nura::pathText(*raw.play) : QString();
    if (raw.positional) {
        const std::string& name = *raw.positional;
        struct stat st {};
        const bool there = ::stat(name.c_str(), &st) == 0;
        if (there && S_ISREG(st.st_mode) && !parser.isSet(settingsOption)) {
            // A recording handed over by a file manager: its folder is listed and it starts as --play would.
            if (parser.isSet(play)) {
                std::fprintf(stderr, "nura-viewer: give a recording file or --play, not both\n");
                return 2;
            }
            if (!endsWithMp4(name) || !ORBMediaList::createMediaByPath(std::string(baseName(name)))) {
                std::fprintf(stderr, "nura-viewer: '%s' is not a recording of the camera\n", name.c_str());
                return 1;
            }
            const std::string file = absoluteName(name);
            folder = nura::pathText(folderOf(file));
            playFile = nura::pathText(file);
        } else if (!there || !S_ISDIR(st.st_mode) || ::access(name.c_str(), R_OK) != 0) {
            std::fprintf(stderr, "nura-viewer: cannot open folder '%s'\n", name.c_str());
            return 1;
        } else {
            folder = nura::pathText(absoluteName(name));
        }
    }
    if (parser.isSet(driveOption) && playFile.isEmpty()) {
        std::fprintf(stderr, "nura-viewer: --drive needs a recording to play (--play FILE)\n");
        return 2;
    }
    if (parser.isSet(play) && folder.isEmpty()) {
        std::fprintf(stderr, "nura-viewer: --play needs the folder DIR that holds the recording\n");
        return 2;
    }
    double seconds = 0;
    if (parser.isSet(quitAfter)) {
        bool ok = false;
        seconds = parser.value(quitAfter).toDouble(&ok);
        if (!ok || seconds < 0) {
            std::fprintf(stderr, "nura-viewer: --quit-after needs a number of seconds\n");
            return 2;
        }
    }

    MediaPlayerOptions options;
    options.silent = parser.isSet(screenshot) || qEnvironmentVariableIsSet("NURA_SILENT");
    initMediaPlayerLibrary(options);

    if (parser.isSet(settingsOption)) {
        const ORBAppServices real = ORBAppServices::real();
        nura::ORBSettingServices services = real.settingServices();
        std::optional<std::string> config;
        if (raw.config) {
            config = absoluteName(*raw.config);
        }
        QPointer<nura::ORBSettingController> settings =
            new nura::ORBSettingController(std::move(services), nullptr, config);
        QObject::connect(settings, &nura::ORBSettingController::loaded, settings,
                         [settings, tab] { settings->changeViewController(tab); });
        settings->open();
        int status = 0;
        if (parser.isSet(quitAfter) || parser.isSet(screenshot)) {
            const QString file = parser.value(screenshot);
            // The timer fires after this block has ended: the name is the lambda's own copy.
            QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&status, settings, file] {
                if (!file.isEmpty() && (!settings || !settings->grab().save(file))) {
                    std::fprintf(stderr, "nura-viewer: cannot write screenshot '%s'\n", qPrintable(file));
                    status = 1;
                }
                QCoreApplication::quit();
            });
        }
        const int loop = app.exec();
        return status ? status : loop;
    }

    ORBAppDelegate delegate(ORBAppServices::real());
    delegate.launch();
    if (parser.isSet(fullScreenOption)) {
        CustomWindow* window = delegate.window();
        window->enterFullscreen();
        if (!playFile.isEmpty()) {
            // Each recording's start brings the window back from full screen; the one started from
            // the command line stays in it.
            QObject::connect(&delegate.playback(), &ORBPlaybackController::scaleStepRequested, window,
                             &CustomWindow::enterFullscreen, Qt::SingleShotConnection);
        }
    }
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &ORBAppDelegate::applicationWillTerminate);
    int status = 0;
    if (!playFile.isEmpty()) {
        const QString file = playFile;
        const bool drive = parser.isSet(driveOption);
        // Played as a double-click on its row would, once the scan has listed it.
        QObject::connect(
            &delegate, &ORBAppDelegate::mediaListReloaded, &app,
            [&, file, drive] {
                const int64_t row = delegate.rowOfFile(file);
                if (row < 0) {
                    std::fprintf(stderr, "nura-viewer: '%s' is not a recording in the list\n",
                                 qPrintable(file));
                    status = 1;
                    QCoreApplication::exit(1);
                    return;
                }
                delegate.playback().changeAndPlay(row);
                if (drive) {
                    delegate.playback().setDriveMode(true);
                }
            },
            Qt::SingleShotConnection);
    }
    if (parser.isSet(mapOption)) {
        // A listed folder brings the recordings list back, so the map follows each listing.
        delegate.clickMapViewButton();
        QObject::connect(&delegate, &ORBAppDelegate::mediaListReloaded, &delegate,
                         &ORBAppDelegate::clickMapViewButton);
    }
    if (parser.isSet(drivesOption)) {
        delegate.clickDrivesViewButton();
        QObject::connect(&delegate, &ORBAppDelegate::mediaListReloaded, &delegate,
                         &ORBAppDelegate::clickDrivesViewButton);
    }
    if (!folder.isEmpty()) {
        delegate.openMediaDirectory(folder);
    }

    if (parser.isSet(quitAfter) || parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        // The timer fires after this block has ended: the name is the lambda's own copy.
        QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&status, &delegate, file] {
            if (!file.isEmpty() && !delegate.window()->grab().save(file)) {
                std::fprintf(stderr, "nura-viewer: cannot write screenshot '%s'\n", qPrintable(file));
                status = 1;
            }
            // For the playback benchmark: did every decoded picture reach the screen?
            if (qEnvironmentVariableIsSet("NURA_PICTURE_COUNTS")) {
                for (MediaPlayer* player : {delegate.player1(), delegate.player2()}) {
                    if (auto* vlc = qobject_cast<VlcMediaPlayer*>(player)) {
                        std::fprintf(stderr, "pictures %s\n", qPrintable(vlc->pictureCounts()));
                    }
                }
                if (const TKMapView* map = delegate.mapView(); map && map->isVisible()) {
                    std::fprintf(stderr, "map painted %d times\n", map->paintCount());
                }
            }
            QCoreApplication::quit();
        });
    }
    const int loop = app.exec();
    return status ? status : loop;
}
