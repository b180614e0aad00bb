// SPDX-License-Identifier: GPL-3.0-or-later
// Playback under random orders of late player reports, failures and user actions: after every step the
// invariants a user relies on must hold; a failing run prints its seed.

#include "PlaybackRig.h"

#include <QTest>

#include <random>

namespace {

const QStringList kCard = {
    QStringLiteral("/card/alwa_20230115_083000_F.MP4"), QStringLiteral("/card/alwa_20230115_083000_R.MP4"),
    QStringLiteral("/card/alwa_20230115_083100_R.MP4"), QStringLiteral("/card/alwa_20230115_083200_F.MP4"),
    QStringLiteral("/card/alwa_20230115_083300_F.MP4"), QStringLiteral("/card/alwa_20230115_083300_R.MP4"),
};

struct Run : playtest::Rig {
    std::mt19937 rng;
    QString failure;
    // When the current start began (scheduler time).
    double startedAt = -1;
    bool drive = false;

    explicit Run(unsigned seed, bool withDrive = false) : Rig(kCard), rng(seed), drive(withDrive) {
        int64_t lengthMs = 0;
        for (FakeMediaPlayer* p : {&p1, &p2}) {
            p->setDeferred(true);
            // The main and sub files may differ by a second.
            lengthMs = 4000 + static_cast<int64_t>(rng() % 3) * 500;
            p->setDefaultLength(lengthMs);
        }
        QObject::connect(c.get(), &ORBPlaybackController::stateChanged, c.get(), [this](ORBRecordingState s) {
            if (s == ORBRecordingState::Starting && startedAt < 0) {
                startedAt = scheduler.now();
            } else if (s != ORBRecordingState::Starting) {
                startedAt = -1;
            }
        });
        if (drive) {
            giveDrives(lengthMs); // the card as one drive, each file as long as the players make it
            c->setDriveMode(true);
        }
        // Every start (a superseding one too) gives its players the whole give-up time again.
        QObject::connect(c.get(), &ORBPlaybackController::itemChanged, c.get(),
                         [this] { startedAt = scheduler.now(); });
    }

    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

    // One user action or one engine happening.
    void step() {
        switch (pick(drive ? 19 : 16)) {
        case 0:
            c->playAtIndex(pick(static_cast<int>(kCard.size())));
            break;
        case 1:
            c->clickPlayButton();
            break;
        case 2:
            c->seekTo(pick(5000));
            break;
        case 3:
            c->swapPlayer();
            break;
        case 4:
            c->stopPlay(); // a folder opened
            break;
        case 5:
            pick(2) ? c->playNext() : c->playPrevious();
            break;
        case 6:
            c->setSliderHeld(pick(2) == 0);
            c->videoPositionSliderMoved(pick(1000) / 1000.0);
            break;
        case 7:
        case 8:
        case 9:
            (pick(2) ? p1 : p2).deliverState();
            break;
        case 10:
            for (FakeMediaPlayer* p : {&p1, &p2}) {
                p->finishOpening();
            }
            break;
        case 11:
            if (pick(4) == 0) {
                FakeMediaPlayer& p = pick(2) ? p1 : p2;
                if (p.hasMedia()) {
                    p.fail(static_cast<MediaPlayer::Failure>(1 + pick(3)));
                }
            }
            break;
        case 12:
            (pick(2) ? p1 : p2).setHoldInOpening(pick(2) == 0);
            break;
        case 16:
            c->toggleDriveMode();
            break;
        case 17:
            c->seekDriveTo(pick(30000));
            break;
        case 18:
            pick(2) ? c->jumpForward() : c->jumpBackward();
            break;
        default: {
            const int ms = 100 + pick(1500);
            p1.advance(ms);
            p2.advance(ms);
            scheduler.advance(ms / 1000.0);
            break;
        }
        }
    }

    bool check(bool ok, const QString& what) {
        if (!ok && failure.isEmpty()) {
            failure = what + QStringLiteral(" (state %1, p1 %2, p2 %3)")
                                 .arg(QLatin1String(recordingStateName(c->state())))
                                 .arg(p1.state())
                                 .arg(p2.state());
        }
        return ok;
    }

    void checkInvariants() {
        const ORBRecordingState state = c->state();
        const ORBPlayerStates players{p1.state(), p2.state(), p2.hasMedia()};
        // The recording's state is the one its players give: nothing else moved it.
        if (state != ORBRecordingState::Idle) {
            check(nextRecordingState(state, ORBPlaybackEvent::PlayersChanged, players) == state,
                  QStringLiteral("state does not follow the players"));
        }
        // The end comes only from the end of the media.
        if (state == ORBRecordingState::Ended) {
            check(players.lead() == MediaPlayer::Ended, QStringLiteral("ended without an end of media"));
        }
        // One start at a time: the players hold exactly the files of the one recording.
        if (const auto& item = c->item(); item && state != ORBRecordingState::Idle) {
            check(p1.media() == item->mainPath && p2.media() == item->partnerPath,
                  QStringLiteral("the players hold files of two starts"));
        }
        // The button and the desktop's status agree with the players.
        const ORBPlaybackStatus status = c->status();
        check(status == playbackStatus(state, c->advancing(), c->recording().pauseAskedWhileStarting()),
              QStringLiteral("status out of step"));
        check(info.isPlaying() == (status == ORBPlaybackStatus::Playing),
              QStringLiteral("button out of step"));
        if (status == ORBPlaybackStatus::Playing && state == ORBRecordingState::Playing) {
            check(players.lead() == MediaPlayer::Playing, QStringLiteral("shows playing while not playing"));
        }
        // In drive mode the recording that plays is a segment of the drive the slider covers.
        if (c->driveModeActive()) {
            const auto& d = c->drivePlayback();
            check(d.segment() && *d.segment() < d.drive()->segments().size(),
                  QStringLiteral("drive mode without a segment"));
        }
        // Never stuck: a start ends within the give-up time.
        if (state == ORBRecordingState::Starting && startedAt >= 0) {
            check(scheduler.now() - startedAt <= ORBPlaybackController::kLoadingGiveUpSeconds + 0.01,
                  QStringLiteral("a start is stuck"));
        }
    }
};

} // namespace

class PlaybackInterleavingTest : public QObject {
    Q_OBJECT
private slots:
    // Over a drive the user also switches drive mode, seeks over the drive and jumps across joins.
    void invariantsHoldUnderRandomOrders_data() {
        QTest::addColumn<bool>("drive");
        QTest::addColumn<unsigned>("runs");
        const int asked = qEnvironmentVariableIntValue("NURA_INTERLEAVING_RUNS");
        QTest::newRow("recordings") << false << (asked > 0 ? static_cast<unsigned>(asked) : 3000u);
        QTest::newRow("a drive") << true << 1000u;
    }

    void invariantsHoldUnderRandomOrders() {
        QFETCH(bool, drive);
        QFETCH(unsigned, runs);
        for (unsigned seed = 1; seed <= runs; ++seed) {
            Run run(seed, drive);
            for (int i = 0; i < 80 && run.failure.isEmpty(); ++i) {
                run.step();
                run.checkInvariants();
            }
            QVERIFY2(run.failure.isEmpty(),
                     qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(run.failure)));
        }
    }

    void theAdvanceReachesTheNextRecordingUnderRandomReports() {
        for (unsigned seed = 1; seed <= 500; ++seed) {
            Run run(seed);
            run.c->playAtIndex(run.pick(static_cast<int>(kCard.size())));
            const QString first = run.c->item()->mainPath;
            const auto next = run.list.nextRecordingIndex(first.toStdString());
            // Reports trickle in while time runs to the end and past the advance.
            for (int i = 0; i < 60; ++i) {
                (run.pick(2) ? run.p1 : run.p2).deliverState();
                run.p1.finishOpening();
                run.p2.finishOpening();
                run.p1.advance(200);
                run.p2.advance(200);
                run.scheduler.advance(0.2);
            }
            while (run.p1.pendingStates() + run.p2.pendingStates() > 0) {
                run.p1.deliverState();
                run.p2.deliverState();
            }
            run.scheduler.advance(1.0);
            const QString now = run.c->item()->mainPath;
            if (next) {
                QVERIFY2(now != first,
                         qPrintable(QStringLiteral("seed %1: no advance from %2").arg(seed).arg(first)));
                // The group after the first, or one beyond it when that one ended too.
                const auto expected = QString::fromStdString(run.list.entryAtIndex(*next)->media->path);
                QVERIFY2(kCard.indexOf(now) >= kCard.indexOf(expected),
                         qPrintable(QStringLiteral("seed %1: advanced to %2").arg(seed).arg(now)));
            } else {
                QCOMPARE(now, first);
            }
        }
    }
};

QTEST_GUILESS_MAIN(PlaybackInterleavingTest)
#include "PlaybackInterleavingTest.moc"
