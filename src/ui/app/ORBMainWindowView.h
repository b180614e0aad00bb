#pragma once
// The main window's boxes and controls, and their layout in windowed and full-screen mode.

#include <QPointer>

class CustomWindow;
class QAbstractButton;
class QLabel;
class QPushButton;
class QSlider;
class QTableView;
class QToolButton;
class QWidget;
class QProgressBar;
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
    QWidget* mediaControlBoxForFullScreen;
    QWidget* sideButtonBox;
    QWidget* mediaListBox;
    QTableView* mediaListTableView; // its own scroll view
    QWidget* subVideoBox;
    QWidget* mapContainerView;
    QWidget* mapContainerTopView;
    QWidget* mapContainerBottomView;
    QWidget* player1BackgroundView;
    QWidget* player2BackgroundView;
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
    QToolButton* playButton;
    QToolButton* jumpBackwardButton;
    QToolButton* jumpForwardButton;
    QPushButton* speedTextButton;
    QPushButton* sizeTextButton;
    QToolButton* audioToggleButton;
    QToolButton* fullScreenButton;
    QToolButton* captureButton;
    QToolButton* printButton;
    QToolButton* recordButton;      // side button: recordings list
    QToolButton* informationButton; // side button: map
    QToolButton* openButton;
    QToolButton* settingsButton;
    QToolButton* timeSetupButton;
    QToolButton* closeButton;
    QSlider* videoPositionSlider;
    QSlider* videoPositionSliderForFullScreen;
    QSlider* volumeSlider;
    QProgressBar* progressIndicator;

private:
    void buildHead();
    void buildGsensorBox();
    void buildControls();
    void buildRightColumn();
    static void clearLayout(QWidget* box);
};
