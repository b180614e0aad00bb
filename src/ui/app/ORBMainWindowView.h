// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's boxes and controls, and their layout in windowed and full-screen mode.

#include "ui/views/PMProgressIndicator.h"
#include "ui/views/TKImageButton.h"
#include "ui/views/TKThreePartImageView.h"
#include "ui/views/TKVideoBackgroundImageView.h"

#include <QPointer>

class CustomWindow;
class QAbstractButton;
class QLabel;
class QPushButton;
class QSlider;
class QTableView;
class QToolButton;
class QWidget;
class VideoView;
class GraphView;

class ORBMainWindowView {
public:
    // Builds every box inside the window; the layout is made by layoutWindow().
    explicit ORBMainWindowView(CustomWindow* window);

    // Rebuilds the whole layout from scratch for the window's current mode and side view.
    void layoutWindow(bool fullScreen, unsigned rightViewMode);
    void layoutMapContainer(unsigned rightViewMode);
    // The loading indicator floats over the middle of the head box, above the row's texts and buttons.
    void centreProgressIndicator();
    // The side button of the shown view stays lit, on hover too.
    // 0 the recordings, 1 the map, 2 the drives.
    void selectSideButton(unsigned view);
    // Front or rear logo on each picture.
    // Without a partner file the sub frame stays blank rather than naming a camera it does not show.
    void setLogos(bool mainIsRear, bool partner = true);

    CustomWindow* window;
    QWidget* backgroundBox;
    QWidget* headBox;
    QWidget* bodyBox;
    QWidget* bodyLeftBox;
    QWidget* bodyRightBox;
    QWidget* videoBox;
    QWidget* videoContainerView;
    QWidget* gsensorBox;
    QWidget* mediaControlBox;
    TKThreePartImageView* mediaControlBoxForFullScreen;
    QWidget* sideButtonBox;
    QWidget* mediaListBox;
    QTableView* mediaListTableView; // its own scroll view
    QTableView* drivesTableView;
    QWidget* subVideoBox;
    QWidget* mapContainerView;
    QWidget* mapContainerTopView;
    QWidget* mapContainerBottomView;
    TKVideoBackgroundImageView* player1BackgroundView;
    TKVideoBackgroundImageView* player2BackgroundView;
    // The camera's name over a playing picture (the background shows it in the middle when idle).
    QLabel* player1Logo;
    QLabel* player2Logo;
    GraphView* graphView;
    QLabel* gsensorXField;
    QLabel* gsensorYField;
    QLabel* gsensorZField;
    QLabel* speedField;
    QLabel* hdopField;
    QLabel* sateliteField;
    QLabel* titleLabel;
    QLabel* statusLabel;
    TKImageButton* playButton;
    QToolButton* jumpBackwardButton;
    QToolButton* jumpForwardButton;
    QPushButton* speedTextButton;
    // The slider over the recording or the whole drive.
    QToolButton* driveModeButton;
    QLabel* driveTimeLabel; // in drive mode: the time into the drive and the camera's clock
    QPushButton* sizeTextButton;
    QToolButton* audioToggleButton;
    QToolButton* fullScreenButton;
    QToolButton* captureButton;
    QToolButton* printButton;
    TKImageButton* recordButton;      // side button: recordings list
    TKImageButton* informationButton; // side button: map
    TKImageButton* drivesButton;      // side button: drives
    QToolButton* openButton;
    QToolButton* settingsButton;
    QToolButton* timeSetupButton;
    QToolButton* closeButton;
    QSlider* videoPositionSlider;
    QSlider* videoPositionSliderForFullScreen;
    QSlider* volumeSlider;
    PMProgressIndicator* progressIndicator;

private:
    void buildHead();
    void buildGsensorBox();
    void buildControls();
    void buildRightColumn();
    static void clearLayout(QWidget* box);
};
