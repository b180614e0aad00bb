// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and printing the current frame: the file a user gets, the private folder of the temporary
// snapshot, when capture and print act, and the printed page as a PDF rasterizer sees it.

#include "platform/FakeMediaPlayer.h"
#include "platform/QtSnapshotPrinter.h"
#include "platform/Scheduler.h"
#include "platform/SnapshotFiles.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/app/ORBSnapshotController.h"

#include "UiTestSupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <sys/stat.h>

namespace {

QByteArray head(const QString& path, int bytes) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(bytes) : QByteArray();
}

const QByteArray kPngMagic("\x89PNG\r\n\x1a\n", 8);
const QByteArray kJpegMagic("\xff\xd8\xff", 3);

struct Rig {
    QTemporaryDir dir;
    FakeMediaPlayer player, sub;
    ManualScheduler scheduler;
    ORBRecordingPlayer recording{player, sub, scheduler};
    RecordingSnapshotPrinter printer;
    QString chosen;
    int panels = 0;
    QStringList opened;
    QStringList messages;
    std::unique_ptr<ORBSnapshotController> controller;

    Rig() {
        ORBSnapshotServices s;
        s.chooseSnapshotPath = [this](QWidget*, const QString&, const QString& name) {
            ++panels;
            return chosen.isEmpty() ? QString() : dir.filePath(chosen == QLatin1String("?") ? name : chosen);
        };
        s.openInViewer = [this](const QString& path) { opened << path; };
        s.printer = &printer;
        s.temporaryFolder = [this] { return dir.filePath(QStringLiteral("private")); };
        QDir().mkpath(dir.filePath(QStringLiteral("private")));
        controller = std::make_unique<ORBSnapshotController>(recording, nullptr, s);
        QObject::connect(controller.get(), &ORBSnapshotController::statusMessage,
                         [this](const QString& text) { messages << text; });
        player.setVideoSize(QSize(320, 180));
        player.setMedia(QStringLiteral("/card/alwa_20230115_083012_F.MP4"));
    }
};

} // namespace

class SnapshotTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void savedPictureHasTheFormatOfItsNameAndReplacesTheOldFile() {
        Rig rig;
        rig.player.play();
        const struct {
            QString name;
            QByteArray magic;
        } cases[] = {{QStringLiteral("?"), kPngMagic}, // the proposed "nura_capture.png"
                     {QStringLiteral("frame.JPG"), kJpegMagic},
                     {QStringLiteral("frame.tiff"), kJpegMagic}};
        for (const auto& c : cases) {
            rig.chosen = c.name;
            const QString target =
                rig.dir.filePath(c.name == QLatin1String("?") ? QStringLiteral("nura_capture.png") : c.name);
            {
                QFile old(target);
                QVERIFY(old.open(QIODevice::WriteOnly));
                old.write("an older file the user agreed to replace");
            }
            rig.controller->captureVideo();
            QCOMPARE(head(target, c.magic.size()), c.magic);
            const QImage saved(target);
            QCOMPARE(saved.size(), QSize(320, 180)); // the video's own size
            QCOMPARE(qGray(saved.pixel(4, 4)), 128); // the fake frame's grey, away from its text
            QCOMPARE(rig.opened.last(), target);
        }
        QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files).size(), 3); // nothing left beside them
        QVERIFY(rig.player.calls().contains(
            QStringLiteral("snapshot:%1:0x0")
                .arg(rig.dir.filePath(QStringLiteral("private/nura_capture.jpg")))));
    }

    // A folder that does not exist, or a FIFO where the picture goes (a write through it would wait for a
    // reader for good): the save fails at once and says why. A folder or a link there is the safe
    // writer's own test.
    void failuresAreToldAndNothingIsOpened() {
        Rig rig;
        rig.player.play();
        QVERIFY(::mkfifo(QFile::encodeName(rig.dir.filePath(QStringLiteral("pipe.jpg"))).constData(), 0600) ==
                0);
        const std::pair<const char*, const char*> targets[] = {{"missing/frame.png", "could not be saved"},
                                                               {"pipe.jpg", "not a regular file"}};
        for (const auto& [name, why] : targets) {
            rig.chosen = QLatin1String(name);
            rig.controller->captureVideo();
            QVERIFY2(rig.messages.last().contains(QLatin1String(why)), qPrintable(rig.messages.last()));
        }
        QVERIFY(rig.opened.isEmpty());
        QCOMPARE(
            QDir(rig.dir.path()).entryList(QDir::System | QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
            (QStringList{"pipe.jpg", "private"}));

        // No picture from the player: a stale snapshot from before is neither offered nor printed.
        rig.player.setPictureAvailable(false);
        rig.player.setVideoSize(QSize());
        rig.controller->captureVideo();
        rig.controller->print();
        QCOMPARE(rig.panels, 2);
        QVERIFY(rig.printer.paths.isEmpty());
        QVERIFY(rig.messages.last().contains(QStringLiteral("could not be captured")));
    }

    void captureNeedsPlayingPrintTakesThePausedFrame() {
        Rig rig;
        rig.chosen = QStringLiteral("frame.png");
        rig.player.play();
        rig.player.advance(1234);
        rig.player.pause();
        rig.player.clearCalls();
        rig.controller->captureVideo();
        QCOMPARE(rig.panels, 0);
        QVERIFY(rig.player.calls().isEmpty());

        rig.controller->print();
        QCOMPARE(rig.printer.paths.size(), 1);
        QCOMPARE(rig.printer.pictures.last().size(), QSize(320, 180));
        QCOMPARE(rig.player.calls(),
                 QStringList{QStringLiteral("snapshot:%1:0x0").arg(rig.printer.paths.last())});
    }

    void privateFolderIsTheUsersAlone() {
        QTemporaryDir runtime;
        const QString folder = runtime.filePath(QStringLiteral("nura-viewer"));
        QCOMPARE(nura::privateTemporaryFolder(runtime.path()), folder);
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, 0700u);

        // A link planted at the name, or a folder others may enter, is not used.
        QTemporaryDir planted;
        QTemporaryDir elsewhere;
        QVERIFY(
            QFile::setPermissions(elsewhere.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(QFile::link(elsewhere.path(), planted.filePath(QStringLiteral("nura-viewer"))));
        QTemporaryDir open;
        QVERIFY(QDir().mkdir(open.filePath(QStringLiteral("nura-viewer"))));
        QVERIFY(QFile::setPermissions(open.filePath(QStringLiteral("nura-viewer")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther));
        for (const QString& base : {planted.path(), open.path(), QString()}) {
            const QString chosen = nura::privateTemporaryFolder(base);
            QVERIFY2(!chosen.isEmpty() && !chosen.startsWith(base.isEmpty() ? QStringLiteral("@") : base),
                     qPrintable(chosen));
            QVERIFY(nura::isPrivateFolder(chosen));
            QDir(chosen).removeRecursively();
        }
        QVERIFY(QDir(elsewhere.path()).isEmpty());
    }

    void printPanelIsWindowModal() {
        QWidget window;
        window.show();
        QtSnapshotPrinter printer;
        QList<SnapshotPrinter::Result> results;
        printer.print(&window, QStringLiteral("/nonexistent/nura_capture.jpg"),
                      [&results](SnapshotPrinter::Result result) { results << result; });
        auto* panel = window.findChild<QPrintDialog*>();
        QVERIFY(panel && panel->isVisible() && panel->windowModality() == Qt::WindowModal);
        panel->reject();
        QCOMPARE(results, QList{SnapshotPrinter::Result::Cancelled});
    }

    void pictureIsScaledToFitOnePage() {
        // Red left half, blue right half, twice as wide as high.
        QImage picture(400, 200, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QPainter(&picture).fillRect(200, 0, 200, 200, Qt::blue);
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setOutputFileName(dir.filePath(QStringLiteral("page.pdf")));
        QCOMPARE(QtSnapshotPrinter::paintPicture(printer, picture), 0);

        const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
        QVERIFY2(!tool.isEmpty(), "pdftoppm (poppler-utils) is needed");
        QCOMPARE(QProcess::execute(tool, {QStringLiteral("-r"), QStringLiteral("36"), QStringLiteral("-png"),
                                          printer.outputFileName(), dir.filePath(QStringLiteral("page"))}),
                 0);
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("page*.png")}),
                 QStringList{QStringLiteral("page-1.png")}); // one page
        const QImage page(dir.filePath(QStringLiteral("page-1.png")));
        QCOMPARE(page.size(), QSize(298, 421)); // A4 at 36 dpi: 8.27 x 11.69 inches

        // Whatever is not white is the picture: most of the width, centred, its proportions kept.
        QRect drawn;
        for (int y = 0; y < page.height(); ++y) {
            for (int x = 0; x < page.width(); ++x) {
                if (page.pixel(x, y) != qRgb(255, 255, 255)) {
                    drawn |= QRect(x, y, 1, 1);
                }
            }
        }
        const QString got =
            QString::asprintf("%d,%d %dx%d", drawn.x(), drawn.y(), drawn.width(), drawn.height());
        QVERIFY2(drawn.width() > page.width() * 8 / 10, qPrintable(got));
        QVERIFY2(qAbs(drawn.height() * 2 - drawn.width()) <= 3, qPrintable(got));
        QVERIFY2(qAbs(drawn.center().x() - page.width() / 2) <= 2, qPrintable(got));
        QVERIFY2(qAbs(drawn.center().y() - page.height() / 2) <= 2, qPrintable(got));
        const QRgb left = page.pixel(drawn.x() + drawn.width() / 4, drawn.center().y());
        const QRgb right = page.pixel(drawn.right() - drawn.width() / 4, drawn.center().y());
        QVERIFY(qRed(left) > 200 && qBlue(left) < 60 && qBlue(right) > 200 && qRed(right) < 60);
    }

    void windowControlsReachTheController() {
        RecordingSnapshotPrinter printer;
        QTemporaryDir dir;
        uitest::FakeViewer viewer([&](ORBAppServices& s) {
            s.snapshots.printer = &printer;
            s.snapshots.temporaryFolder = [&dir] { return dir.path(); };
        });
        ORBAppDelegate& app = *viewer.app;
        app.window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app.window()));

        viewer.p(1).setMedia(QStringLiteral("/card/alwa_20230115_083012_F.MP4"));
        viewer.p(1).play();
        viewer.p(1).pause();
        QTest::keyClick(app.window(), Qt::Key_P, Qt::ControlModifier);
        app.view().printButton->click();
        QCOMPARE(printer.paths.size(), 2);
        QCOMPARE(printer.windows.first().data(), static_cast<QWidget*>(app.window()));
        QCOMPARE(app.view().statusLabel->text(), QStringLiteral("The frame was sent to the printer."));
    }
};

QTEST_MAIN(SnapshotTest)
#include "SnapshotTest.moc"
