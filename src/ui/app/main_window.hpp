#pragma once

#include <chrono>

#include <QMainWindow>
#include <QPointer>

namespace tarnwell {

class ContentView;
class MainQueue;

// The application's window: the start-up screen for its first 1.5 seconds,
// then the controller window that the application builds at that moment; and
// the "Help" menu with "About Tarnwell".
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kStartupDelay{1500};

    // `queue` must outlive the window.
    explicit MainWindow(MainQueue& queue, QWidget* parent = nullptr);

    // Replaces the start-up screen with the controller window; the window
    // takes `content` over.
    void showPanel(ContentView* content);

    [[nodiscard]] bool isFirstLaunch() const { return isFirstLaunch_; }
    [[nodiscard]] ContentView* contentView() const;
    [[nodiscard]] QWidget* aboutWindow() const { return about_; }
    // Opens the About window, or shows the one already made where it was left.
    void showAboutWindow();

Q_SIGNALS:
    // The start-up screen has been shown for its time: the application now
    // builds the panel and hands it to `showPanel`.
    void startupFinished();
    // The start-up screen has given way to the controller window.
    void controllerWindowShown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void finishStartup();
    // The panel's own size, or the screen's where that is smaller.
    void fitToScreen();

    MainQueue& queue_;
    bool isFirstLaunch_ = true;
    bool startupScheduled_ = false;
    QPointer<ContentView> content_;
    QPointer<QWidget> about_;
};

}  // namespace tarnwell
