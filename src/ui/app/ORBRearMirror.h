// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rear camera shown as a rear-view mirror would show it: a small toggle button on the rear
// camera's picture (and the M key) flips that picture left to right. It follows the rear camera to
// whichever view shows it after a swap, and is remembered across runs.

#include <QObject>
#include <QPointer>
#include <QToolButton>

class ORBRecordingPlayer;
class VideoView;

class ORBRearMirror : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kSettingKey = "mirrorRearView";

    // `view1` shows the recording's main player, `view2` its sub player.
    ORBRearMirror(const ORBRecordingPlayer& recording, VideoView* view1, VideoView* view2,
                  QObject* parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    void toggle() { setEnabled(!m_enabled); }
    // A new recording or a swap: the view now showing the rear camera takes the mirror and the button.
    void refresh();
    QToolButton* button() const { return m_button; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    VideoView* rearView() const;
    void placeButton();

    const ORBRecordingPlayer& m_recording;
    VideoView* m_view1;
    VideoView* m_view2;
    QPointer<QToolButton> m_button;
    bool m_enabled = false;
};
