#include "ui/app/art_view.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/theme.hpp"

// The pictures are compiled into the static UI library, whose resource
// initialiser the linker would otherwise drop.
static void initPictureResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(tarnwell);
        return true;
    }();
    (void)done;
}

namespace tarnwell {

namespace {

constexpr int kSmallBox = 100;
constexpr int kLargeBox = 500;

QLabel* pictureLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAccessibleName(name);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

void showFitted(QLabel* label, const QPixmap& source, QSize box) {
    const qreal ratio = label->devicePixelRatioF();
    QPixmap fitted = source.scaled(box * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    fitted.setDevicePixelRatio(ratio);
    label->setPixmap(fitted);
}

}  // namespace

ArtView::ArtView(const QString& title, const QFont& titleFont, const QString& caption,
                 QWidget* parent, const QString& detail)
    : QWidget(parent) {
    initPictureResources();
    smallSource_ = QPixmap(":/images/ascii1.png");
    largeSource_ = QPixmap(":/images/ascii.png");

    setAutoFillBackground(true);
    QPalette ground = palette();
    ground.setColor(QPalette::Window, theme::kArtGround);
    ground.setColor(QPalette::WindowText, theme::kArtText);
    setPalette(ground);

    auto* column = new QVBoxLayout(this);
    title_ = new QLabel(title, this);
    title_->setObjectName("title");
    title_->setFont(titleFont);
    title_->setAlignment(Qt::AlignCenter);
    column->addWidget(title_, 1);

    auto* pictures = new QVBoxLayout;
    small_ = pictureLabel("ascii1", this);
    large_ = pictureLabel("ascii", this);
    pictures->addWidget(small_, 0, Qt::AlignHCenter);
    pictures->addWidget(large_, 0, Qt::AlignHCenter);
    auto* lowerLeft = new QHBoxLayout;
    lowerLeft->addLayout(pictures);
    lowerLeft->addStretch();
    column->addLayout(lowerLeft);

    if (!caption.isEmpty()) {
        caption_ = new QLabel(caption, this);
        caption_->setAlignment(Qt::AlignCenter);
        caption_->setWordWrap(true);
        column->addWidget(caption_, 0, Qt::AlignLeft);
    }
    if (!detail.isEmpty()) {
        detail_ = new QLabel(detail, this);
        detail_->setObjectName("detail");
        detail_->setFont(theme::captionFont(detail_->font()));
        column->addWidget(detail_, 0, Qt::AlignLeft);
    }
    fitPictures();
}

void ArtView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitPictures();
}

void ArtView::fitPictures() {
    const QMargins margins = layout()->contentsMargins();
    const int spacing = layout()->spacing();
    const int width = std::max(1, this->width() - margins.left() - margins.right());
    int height = this->height() - margins.top() - margins.bottom() - title_->sizeHint().height() -
                 3 * spacing;
    for (const QLabel* line : {caption_, detail_}) {
        if (line != nullptr) {
            height -= line->sizeHint().height() + spacing;
        }
    }
    height = std::max(height, 2);
    // The small picture takes at most a quarter of the room the pictures have.
    const int smallSide = std::min({kSmallBox, height / 4, width});
    showFitted(small_, smallSource_, QSize(smallSide, smallSide));
    const int largeHeight =
        std::min(kLargeBox, height - small_->pixmap().deviceIndependentSize().toSize().height());
    showFitted(large_, largeSource_, QSize(std::min(kLargeBox, width), std::max(1, largeHeight)));
}

StartupView::StartupView(QWidget* parent) : ArtView(tr("tarnwell!"), QFont(), QString(), parent) {
    setObjectName("StartupView");
}

AboutView::AboutView(QWidget* parent)
    : ArtView(tr("About Tarnwell"), theme::largeTitleFont(QFont()), tr("Tarnwell"), parent,
              tr("Version %1").arg(TARNWELL_VERSION)) {
    setObjectName("AboutView");
}

}  // namespace tarnwell
