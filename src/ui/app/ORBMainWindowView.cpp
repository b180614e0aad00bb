// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBMainWindowView.h"

#include "ui/app/CustomWindow.h"
#include "ui/strings/InfoPlist.h"
#include "ui/views/GraphView.h"
#include "ui/views/TKImageDrawing.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A list of rows, one selected at a time, as the recordings and the drives are shown.
QTableView* listTable(QWidget* parent, const char* name) {
    auto* table = new QTableView(parent);
    table->setObjectName(QString::fromLatin1(name));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setShowGrid(false);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(22);
    table->horizontalHeader()->setHighlightSections(false);
    return table;
}

QWidget* box(QWidget* parent, const char* name) {
    auto* w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    w->setAttribute(Qt::WA_StyledBackground, true);
    return w;
}

QLabel* field(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setProperty("role", "telemetry");
    l->setMinimumWidth(88);
    return l;
}

QToolButton* toolButton(QWidget* parent, const char* name, const QString& text, const QString& tip) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QSlider* positionSlider(QWidget* parent, const char* name) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(0, 10000); // the position 0..1 in steps of 1/10000
    s->setFocusPolicy(Qt::NoFocus);
    return s;
}

} // namespace

ORBMainWindowView::ORBMainWindowView(CustomWindow* w) : window(w) {
    window->setObjectName(QStringLiteral("mainWindow"));
    backgroundBox = box(window, "backgroundBox");
    auto* content = new QVBoxLayout(window);
    content->setContentsMargins(0, 0, 0, 0);
    content->addWidget(backgroundBox);

    headBox = box(backgroundBox, "headBox");
    bodyBox = box(backgroundBox, "bodyBox");
    bodyLeftBox = box(bodyBox, "bodyLeftBox");
    bodyRightBox = box(bodyBox, "bodyRightBox");
    videoBox = box(bodyLeftBox, "videoBox");
    gsensorBox = box(bodyLeftBox, "gsensorBox");
    mediaControlBox = box(bodyLeftBox, "mediaControlBox");
    mediaControlBoxForFullScreen = new TKThreePartImageView(bodyLeftBox);
    mediaControlBoxForFullScreen->setObjectName(QStringLiteral("mediaControlBoxForFullScreen"));
    const QPixmap strip = TKImageDrawing::imageNamed(QStringLiteral("bottom-background"));
    mediaControlBoxForFullScreen->setImagesLeft(strip, strip, strip);

    player1BackgroundView = new TKVideoBackgroundImageView(videoBox);
    player1BackgroundView->setObjectName(QStringLiteral("player1BackgroundView"));
    player1BackgroundView->setBackgroundNineImageName(QStringLiteral("v1"));
    videoContainerView = box(videoBox, "videoContainerView");
    player1Logo = new QLabel(videoBox);
    auto* videoGrid = new QGridLayout(videoBox);
    videoGrid->setContentsMargins(0, 0, 0, 0);
    videoGrid->addWidget(player1BackgroundView, 0, 0);
    videoGrid->addWidget(videoContainerView, 0, 0);
    videoGrid->addWidget(player1Logo, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    player1Logo->setContentsMargins(8, 8, 0, 0);
    player1Logo->hide(); // until a picture plays

    buildHead();
    buildGsensorBox();
    buildControls();
    buildRightColumn();
}

void ORBMainWindowView::buildHead() {
    titleLabel = new QLabel(QStringLiteral("NURA"), headBox);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    statusLabel = new QLabel(L("main.no_folder"), headBox);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    progressIndicator = new PMProgressIndicator(headBox);
    progressIndicator->setObjectName(QStringLiteral("progressIndicator"));
    progressIndicator->setFixedSize(160, 6);
    progressIndicator->setRange(0, 100);
    progressIndicator->hide();
    openButton = toolButton(headBox, "openButton", L("main.open_folder"),
                            QStringLiteral("Open a folder of recordings (Ctrl+O)"));
    settingsButton =
        toolButton(headBox, "settingsButton", L("main.settings"), QStringLiteral("Settings (Ctrl+,)"));
    timeSetupButton =
        toolButton(headBox, "timeSetupButton", L("main.time_setup"), QStringLiteral("Clock setup"));
    closeButton =
        toolButton(headBox, "closeButton", QStringLiteral("\u2715"), QStringLiteral("Quit (Ctrl+Q)"));

    auto* row = new QHBoxLayout(headBox);
    row->setContentsMargins(16, 0, 10, 0);
    row->setSpacing(8);
    row->addWidget(titleLabel);
    row->addSpacing(12);
    row->addWidget(statusLabel, 1);
    row->addWidget(openButton);
    row->addWidget(settingsButton);
    row->addWidget(timeSetupButton);
    row->addSpacing(8);
    row->addWidget(closeButton);
}

void ORBMainWindowView::centreProgressIndicator() {
    const QSize size = progressIndicator->size();
    progressIndicator->move((headBox->width() - size.width()) / 2, (headBox->height() - size.height()) / 2);
    progressIndicator->raise();
}

void ORBMainWindowView::selectSideButton(unsigned view) {
    const std::pair<TKImageButton*, bool> buttons[] = {
        {recordButton, view == 0}, {informationButton, view == 1}, {drivesButton, view == 2}};
    for (const auto& [button, selected] : buttons) {
        // A drive is a list of recordings: its button wears the list's picture.
        const QString base =
            button == informationButton ? QStringLiteral("information") : QStringLiteral("record");
        const QString caption = button->text();
        button->setImageName(QString(base).append(selected ? QLatin1String("_p") : QLatin1String("_n")));
        if (selected) {
            button->setRolloverImage(button->activeImage());
            button->updateRollOverImage();
        }
        button->setText(caption);
    }
}

void ORBMainWindowView::setLogos(bool mainIsRear, bool partner) {
    const QPixmap main = TKImageDrawing::imageNamed(mainIsRear ? QStringLiteral("v1_rear_logo")
                                                               : QStringLiteral("v1_front_logo"));
    const QPixmap sub = !partner     ? QPixmap()
                        : mainIsRear ? TKImageDrawing::imageNamed(QStringLiteral("v2_front_logo"))
                                     : TKImageDrawing::imageNamed(QStringLiteral("v2_rear_logo"));
    player1BackgroundView->setLogoImage(main);
    player2BackgroundView->setLogoImage(sub);
    player1Logo->setPixmap(main);
    player2Logo->setPixmap(sub);
}

void ORBMainWindowView::buildGsensorBox() {
    graphView = new GraphView(gsensorBox);
    graphView->setObjectName(QStringLiteral("graphView"));
    gsensorXField = field(gsensorBox, "gsensorXField", QStringLiteral("X=+0.00"));
    gsensorYField = field(gsensorBox, "gsensorYField", QStringLiteral("Y=+0.00"));
    gsensorZField = field(gsensorBox, "gsensorZField", QStringLiteral("Z=+0.00"));
    speedField = field(gsensorBox, "speedField", QString());
    hdopField = field(gsensorBox, "hdopField", QString());
    sateliteField = field(gsensorBox, "sateliteField", QString());

    auto* values = new QGridLayout;
    values->setContentsMargins(10, 8, 10, 8);
    values->setVerticalSpacing(2);
    const std::pair<const char*, QLabel*> rows[] = {
        {"G-sensor", gsensorXField}, {"", gsensorYField}, {"", gsensorZField},
        {"Speed", speedField},       {"HDOP", hdopField}, {"Satellites", sateliteField}};
    int r = 0;
    for (const auto& [caption, label] : rows) {
        auto* c = new QLabel(QLatin1String(caption), gsensorBox);
        c->setProperty("role", "caption");
        values->addWidget(c, r, 0);
        values->addWidget(label, r, 1);
        ++r;
    }
    auto* row = new QHBoxLayout(gsensorBox);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(graphView, 1);
    row->addLayout(values);
}

void ORBMainWindowView::buildControls() {
    videoPositionSlider = positionSlider(mediaControlBox, "videoPositionSlider");
    playButton = new TKImageButton(mediaControlBox);
    playButton->setObjectName(QStringLiteral("playButton"));
    playButton->setToolTip(QStringLiteral("Play / pause (Space)"));
    playButton->setImageName(QStringLiteral("icon_play_n"));
    jumpBackwardButton = toolButton(mediaControlBox, "jumpBackwardButton", QStringLiteral("\u27f2 10s"),
                                    QStringLiteral("Back 10 seconds (Left)"));
    jumpForwardButton = toolButton(mediaControlBox, "jumpForwardButton", QStringLiteral("10s \u27f3"),
                                   QStringLiteral("Forward 10 seconds (Right)"));
    speedTextButton = new QPushButton(QStringLiteral("1.0x"), mediaControlBox);
    speedTextButton->setObjectName(QStringLiteral("speedTextButton"));
    speedTextButton->setToolTip(QStringLiteral("Playback speed"));
    sizeTextButton = new QPushButton(QStringLiteral("0.00x"), mediaControlBox);
    sizeTextButton->setObjectName(QStringLiteral("sizeTextButton"));
    sizeTextButton->setToolTip(QStringLiteral("Video scale"));
    for (auto* b : {speedTextButton, sizeTextButton}) {
        b->setFlat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    audioToggleButton = toolButton(mediaControlBox, "audioToggleButton", QStringLiteral("F/R"),
                                   QStringLiteral("Hear the front or the rear camera"));
    audioToggleButton->setCheckable(true);
    driveModeButton =
        toolButton(mediaControlBox, "driveModeButton", QStringLiteral("Drive"), L("main.drive_mode_tip"));
    driveModeButton->setCheckable(true);
    driveModeButton->setEnabled(false);
    driveTimeLabel = new QLabel(mediaControlBox);
    driveTimeLabel->setObjectName(QStringLiteral("driveTimeLabel"));
    driveTimeLabel->hide();
    volumeSlider = new QSlider(Qt::Horizontal, mediaControlBox);
    volumeSlider->setObjectName(QStringLiteral("volumeSlider"));
    volumeSlider->setRange(0, 200);
    volumeSlider->setFixedWidth(100);
    volumeSlider->setFocusPolicy(Qt::NoFocus);
    fullScreenButton =
        toolButton(mediaControlBox, "fullScreenButton", QString(), QStringLiteral("Full screen (F)"));
    fullScreenButton->setIcon(mediaControlBox->style()->standardIcon(QStyle::SP_TitleBarMaxButton));
    captureButton = toolButton(mediaControlBox, "captureButton", QString(), L("snapshot.capture_tip"));
    captureButton->setIcon(QIcon(QStringLiteral(":/images/capture_n.png")));
    printButton = toolButton(mediaControlBox, "printButton", QString(), L("snapshot.print_tip"));
    printButton->setIcon(QIcon(QStringLiteral(":/images/print_n.png")));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addWidget(jumpBackwardButton);
    buttons->addWidget(playButton);
    buttons->addWidget(jumpForwardButton);
    buttons->addSpacing(12);
    buttons->addWidget(speedTextButton);
    buttons->addWidget(sizeTextButton);
    buttons->addWidget(captureButton);
    buttons->addWidget(printButton);
    buttons->addStretch(1);
    buttons->addWidget(audioToggleButton);
    auto* speaker = new QLabel(mediaControlBox);
    speaker->setPixmap(mediaControlBox->style()->standardIcon(QStyle::SP_MediaVolume).pixmap(16, 16));
    buttons->addWidget(speaker);
    buttons->addWidget(volumeSlider);
    buttons->addWidget(fullScreenButton);
    auto* column = new QVBoxLayout(mediaControlBox);
    column->setContentsMargins(12, 6, 12, 6);
    column->setSpacing(2);
    auto* sliderRow = new QHBoxLayout;
    sliderRow->setSpacing(6);
    sliderRow->addWidget(videoPositionSlider, 1);
    sliderRow->addWidget(driveTimeLabel);
    sliderRow->addWidget(driveModeButton);
    column->addLayout(sliderRow);
    column->addLayout(buttons);

    videoPositionSliderForFullScreen =
        positionSlider(mediaControlBoxForFullScreen, "videoPositionSliderForFullScreen");
    auto* bar = new QHBoxLayout(mediaControlBoxForFullScreen);
    bar->setContentsMargins(12, 0, 12, 0);
    bar->addWidget(videoPositionSliderForFullScreen);
}

void ORBMainWindowView::buildRightColumn() {
    sideButtonBox = box(bodyRightBox, "sideButtonBox");
    recordButton = new TKImageButton(sideButtonBox);
    recordButton->setObjectName(QStringLiteral("recordButton"));
    informationButton = new TKImageButton(sideButtonBox);
    informationButton->setObjectName(QStringLiteral("informationButton"));
    drivesButton = new TKImageButton(sideButtonBox);
    drivesButton->setObjectName(QStringLiteral("drivesButton"));
    drivesButton->setText(L("main.drives"));
    drivesButton->setToolTip(L("main.drives").append(QLatin1String(" (Ctrl+3)")));
    selectSideButton(0);
    // The caption beside the picture belongs to the button: clicking it clicks the button.
    recordButton->setText(L("main.recordings"));
    informationButton->setText(L("main.map"));
    recordButton->setToolTip(L("main.recordings").append(QLatin1String(" (Ctrl+1)")));
    informationButton->setToolTip(L("main.map").append(QLatin1String(" (Ctrl+2)")));
    auto* buttons = new QHBoxLayout(sideButtonBox);
    buttons->setContentsMargins(0, 4, 0, 4);
    buttons->setSpacing(14);
    buttons->addWidget(recordButton);
    buttons->addWidget(informationButton);
    buttons->addWidget(drivesButton);
    buttons->addStretch(1);

    mediaListBox = box(bodyRightBox, "mediaListBox");
    mediaListTableView = listTable(mediaListBox, "mediaListTableView");
    mediaListTableView->setIconSize(QSize(32, 16));

    drivesTableView = listTable(mediaListBox, "drivesTableView");
    drivesTableView->horizontalHeader()->setStretchLastSection(true);
    drivesTableView->hide();

    mapContainerView = box(mediaListBox, "mapContainerView");
    mapContainerTopView = box(mapContainerView, "mapContainerTopView");
    mapContainerBottomView = box(mapContainerView, "mapContainerBottomView");
    auto* mapText = new QLabel(L("main.map"), mapContainerTopView);
    mapText->setAlignment(Qt::AlignCenter);
    auto* mapTop = new QVBoxLayout(mapContainerTopView);
    mapTop->addWidget(mapText);

    subVideoBox = box(bodyRightBox, "subVideoBox");
    player2BackgroundView = new TKVideoBackgroundImageView(subVideoBox);
    player2BackgroundView->setObjectName(QStringLiteral("player2BackgroundView"));
    player2BackgroundView->setBackgroundNineImageName(QStringLiteral("v2"));
    player2Logo = new QLabel(subVideoBox);
    player2Logo->setContentsMargins(6, 6, 0, 0);
    player2Logo->hide();
    auto* subGrid = new QGridLayout(subVideoBox);
    subGrid->setContentsMargins(0, 0, 0, 0);
    subGrid->addWidget(player2BackgroundView, 0, 0);
    subGrid->addWidget(player2Logo, 0, 0, Qt::AlignLeft | Qt::AlignTop);
}

void ORBMainWindowView::clearLayout(QWidget* w) {
    delete w->layout();
}

void ORBMainWindowView::layoutWindow(bool fullScreen, unsigned rightViewMode) {
    for (QWidget* w : {backgroundBox, bodyBox, bodyLeftBox, bodyRightBox}) {
        clearLayout(w);
    }
    auto* background = new QVBoxLayout(backgroundBox);
    background->setContentsMargins(0, 0, 0, 0);
    background->setSpacing(0);
    auto* body = new QHBoxLayout(bodyBox);
    body->setSpacing(10);
    auto* left = new QVBoxLayout(bodyLeftBox);
    left->setSpacing(4);

    if (!fullScreen) {
        headBox->setFixedHeight(50);
        headBox->show();
        background->addWidget(headBox);
        background->addWidget(bodyBox, 1);

        body->setContentsMargins(10, 0, 10, 8);
        body->addWidget(bodyLeftBox, 1);
        bodyRightBox->setFixedWidth(334);
        bodyRightBox->show();
        body->addWidget(bodyRightBox);

        left->setContentsMargins(0, 0, 0, 0);
        gsensorBox->setFixedHeight(130);
        mediaControlBox->setFixedHeight(72);
        gsensorBox->show();
        mediaControlBox->show();
        mediaControlBoxForFullScreen->hide();
        left->addWidget(videoBox, 1);
        left->addWidget(gsensorBox);
        left->addWidget(mediaControlBox);

        auto* right = new QVBoxLayout(bodyRightBox);
        right->setContentsMargins(0, 0, 0, 0);
        right->setSpacing(0);
        sideButtonBox->setFixedHeight(32);
        subVideoBox->setFixedHeight(250);
        right->addWidget(sideButtonBox);
        right->addWidget(mediaListBox, 1);
        right->addWidget(subVideoBox);
        layoutMapContainer(rightViewMode);
    } else {
        headBox->hide();
        background->addWidget(bodyBox, 1);

        body->setContentsMargins(0, 0, 0, 2);
        body->addWidget(bodyLeftBox, 1);
        bodyRightBox->hide();

        left->setContentsMargins(0, 0, 2, 0);
        gsensorBox->hide();
        mediaControlBox->hide();
        mediaControlBoxForFullScreen->setFixedHeight(36);
        mediaControlBoxForFullScreen->show();
        left->addWidget(videoBox, 1);
        left->addWidget(mediaControlBoxForFullScreen);
    }
}

void ORBMainWindowView::layoutMapContainer(unsigned rightViewMode) {
    if (window->isFullScreen()) {
        return;
    }
    clearLayout(mediaListBox);
    auto* list = new QVBoxLayout(mediaListBox);
    list->setContentsMargins(0, 0, 0, 0);
    if (rightViewMode == 1) {
        mapContainerView->setGeometry(mediaListBox->rect());
        list->addWidget(mapContainerView);
        clearLayout(mapContainerView);
        auto* map = new QVBoxLayout(mapContainerView);
        map->setContentsMargins(0, 0, 0, 0);
        map->setSpacing(0);
        mapContainerBottomView->setFixedHeight(57);
        map->addWidget(mapContainerTopView, 1);
        map->addWidget(mapContainerBottomView);
    } else if (rightViewMode == 2) {
        list->addWidget(drivesTableView);
    } else {
        list->addWidget(mediaListTableView);
    }
}
