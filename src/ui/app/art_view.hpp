#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;

namespace tarnwell {

// The start-up screen and the About window's content: a title centred on a
// white ground, with the two pictures ("ascii1" fitted into 100 x 100 above
// "ascii" fitted into 500 x 500) at the lower left, and an optional caption
// below them. In a window too small for the full boxes the pictures shrink
// rather than cover the title.
class ArtView : public QWidget {
    Q_OBJECT
public:
    // `detail`, when given, is a second, smaller line under the caption.
    ArtView(const QString& title, const QFont& titleFont, const QString& caption,
            QWidget* parent = nullptr, const QString& detail = {});

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitPictures();

    QLabel* title_;
    QLabel* caption_ = nullptr;
    QLabel* detail_ = nullptr;
    QLabel* small_;
    QLabel* large_;
    QPixmap smallSource_;
    QPixmap largeSource_;
};

// "tarnwell!" for the first moments of every run.
class StartupView : public ArtView {
    Q_OBJECT
public:
    explicit StartupView(QWidget* parent = nullptr);
};

// "About Tarnwell" with the caption "Tarnwell" and the program's version.
class AboutView : public ArtView {
    Q_OBJECT
public:
    explicit AboutView(QWidget* parent = nullptr);
};

}  // namespace tarnwell
