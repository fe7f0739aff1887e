// Every outline the panel shows stands out from its ground by 3:1 (WCAG non-text contrast), off
// and on, under four palettes, measured pixel by pixel on the rendered window; prints the weakest.
#include <algorithm>
#include <map>
#include <optional>

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QSlider>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>
#include <QTabBar>

#include "core/midi/nrpn.hpp"
#include "gui_harness.hpp"
#include "ui/theme.hpp"

using namespace tarnwell;
using namespace tarnwell::test;

Q_DECLARE_METATYPE(std::optional<QPalette>)

namespace {

constexpr double kMinimumContrast = 3.0;

// Desktop palettes unlike the default and the dark one.
QPalette desktopPalette(const QColor& window, const QColor& text, const QColor& base,
                        const QColor& button) {
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    return palette;
}

// Reaches the protected initStyleOption through a member pointer, without a downcast.
struct CheckBoxAccess : QCheckBox {
    using QCheckBox::initStyleOption;
};
struct SliderAccess : QSlider {
    using QSlider::initStyleOption;
};

enum class Side { top, bottom, left, right };
const QList<Side> kAllSides{Side::top, Side::bottom, Side::left, Side::right};

// A rectangle whose edges are a control's outline, in window coordinates.
struct Frame {
    QString kind, name;
    QRect rect;
    QList<Side> sides;
    int depth = 2;  // how far inside the rectangle the outline may lie (Fusion insets some)
    bool enabled = true;
    bool groundAbove = false;  // a tab sits on the ground above it; below it is its page
};

struct Measured {
    Frame frame;
    double ratio = 0;
    QColor ground, outline;
};

// What the control sits on: the commonest colour two to four pixels outside it (or above it).
QColor groundAround(const QImage& image, const QRect& rect, bool onlyAbove) {
    std::map<QRgb, int> counts;
    const QRect outer = onlyAbove ? QRect(rect.left(), rect.top() - 4, rect.width(), 3)
                                  : rect.adjusted(-4, -4, 4, 4);
    const QRect inner = rect.adjusted(-1, -1, 1, 1);
    for (int y = outer.top(); y <= outer.bottom(); ++y) {
        for (int x = outer.left(); x <= outer.right(); ++x) {
            if (!inner.contains(x, y) && image.rect().contains(x, y)) {
                ++counts[image.pixel(x, y)];
            }
        }
    }
    const auto most =
        std::max_element(counts.begin(), counts.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    return most == counts.end() ? QColor() : QColor::fromRgb(most->first);
}

// One side against `ground`: at each position along it (ends left out) the first pixel inward up
// to `depth` beyond a trace of the ground (Fusion's soft shadows stay under it), else the most
// contrasting one. The side scores what a quarter of the positions reach (a pill's straight end).
std::pair<double, QColor> sideContrast(const QImage& image, const Frame& frame, Side side,
                                       const QColor& ground) {
    constexpr double kTrace = 1.25;
    const QRect& r = frame.rect;
    const bool horizontal = side == Side::top || side == Side::bottom;
    const int length = horizontal ? r.width() : r.height();
    const int margin = std::min(12, std::max(4, length / 4));
    std::vector<std::pair<double, QColor>> readings;
    for (int along = margin; along < length - margin; ++along) {
        std::pair<double, QColor> reading{1.0, ground};
        std::pair<double, QColor> strongest{1.0, ground};
        for (int in = 0; in <= frame.depth; ++in) {
            const QPoint p = side == Side::top      ? QPoint(r.left() + along, r.top() + in)
                             : side == Side::bottom ? QPoint(r.left() + along, r.bottom() - in)
                             : side == Side::left   ? QPoint(r.left() + in, r.top() + along)
                                                    : QPoint(r.right() - in, r.top() + along);
            if (!image.rect().contains(p)) {
                continue;
            }
            const QColor colour = image.pixelColor(p);
            const double ratio = theme::contrastRatio(colour, ground);
            if (ratio > kTrace) {
                reading = {ratio, colour};
                break;
            }
            strongest = std::max(strongest, std::pair(ratio, colour),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        readings.push_back(reading.first > kTrace ? reading : strongest);
    }
    if (readings.empty()) {
        return {0.0, QColor()};
    }
    const auto quartile = readings.begin() + static_cast<std::ptrdiff_t>(readings.size() * 3 / 4);
    std::nth_element(readings.begin(), quartile, readings.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return *quartile;
}

Measured measure(const QImage& image, const Frame& frame) {
    Measured result{frame, 21.0, groundAround(image, frame.rect, frame.groundAbove), QColor()};
    for (const Side side : frame.sides) {
        const auto [ratio, colour] = sideContrast(image, frame, side, result.ground);
        if (ratio < result.ratio) {
            result.ratio = ratio;
            result.outline = colour;
        }
    }
    return result;
}

// The panel's own buttons, by object name.
const QMap<QString, QString> kOwnButtons{{"multiplication", "multiplication button"},
                                         {"resetDAC", "Reset DAC button"},
                                         {"LinkButtonView", "Group button"}};

QString nameOf(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget);
        button && !button->text().isEmpty()) {
        return button->text();
    }
    if (!widget->accessibleName().isEmpty()) {
        return widget->accessibleName();
    }
    return widget->objectName().isEmpty() ? QString(widget->metaObject()->className())
                                          : widget->objectName();
}

// The outlines `widget` shows, in window coordinates.
QList<Frame> framesOf(QWidget* widget, QWidget* window) {
    const auto inWindow = [&](const QRect& local) {
        return QRect(widget->mapTo(window, local.topLeft()), local.size());
    };
    const QString name = nameOf(widget);
    const bool enabled = widget->isEnabled();
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        QStyleOptionButton option;
        (box->*&CheckBoxAccess::initStyleOption)(&option);
        const QRect indicator =
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        return {Frame{"check box", name, inWindow(indicator), kAllSides, 1, enabled}};
    }
    if (auto* slider = qobject_cast<QSlider*>(widget)) {
        QStyleOptionSlider option;
        (slider->*&SliderAccess::initStyleOption)(&option);
        QStyle* style = slider->style();
        const QRect groove =
            style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
        const QRect handle =
            style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
        return {
            Frame{"slider groove", name, inWindow(groove), {Side::top, Side::bottom}, 2, enabled},
            Frame{"slider handle", name, inWindow(handle), kAllSides, 2, enabled}};
    }
    if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
        QList<Frame> frames;
        for (int i = 0; i < tabs->count(); ++i) {
            // Between two tabs is no ground: the top edge borders it.
            const bool on = enabled && tabs->isTabEnabled(i);
            const QList<Side> top{Side::top};
            frames.push_back(
                Frame{"tab", tabs->tabText(i), inWindow(tabs->tabRect(i)), top, 3, on, true});
        }
        return frames;
    }
    const QWidget* parent = widget->parentWidget();
    const QString kind =
        kOwnButtons.contains(widget->objectName()) ? kOwnButtons.value(widget->objectName())
        : qobject_cast<QPushButton*>(widget)       ? "push button"
        : qobject_cast<QComboBox*>(widget)         ? "picker"
        : qobject_cast<QAbstractSpinBox*>(widget)  ? "spin box"
        : qobject_cast<QLineEdit*>(widget) && !qobject_cast<const QComboBox*>(parent) &&
                !qobject_cast<const QAbstractSpinBox*>(parent)
            ? "value field"
            : QString();
    if (kind.isEmpty()) {
        return {};
    }
    return {Frame{kind, name, inWindow(widget->rect()), kAllSides, 2, enabled}};
}

// Whether the whole of `frame` (window coordinates) is on screen, not scrolled away or covered.
bool whollyShown(QWidget* widget, QWidget* window, const QRect& frame) {
    const QRect local(widget->mapFrom(window, frame.topLeft()), frame.size());
    return widget->visibleRegion().intersected(local) == QRegion(local);
}

// Measures every page (and every ball's page) with everything off and the sliders lowest, then
// with everything on and the sliders highest (a track all filled).
std::vector<Measured> surveyPanel(WindowHarness& h) {
    MainWindow& window = h.window();
    ContentView* content = h.view;
    window.resize(content->sizeHint() +
                  QSize(40, window.menuBar()->sizeHint().height() +
                                window.statusBar()->sizeHint().height() + 40));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return {};
    }
    std::vector<Measured> results;
    QSet<QString> seen;
    QString state = "off";  // the panel's state now, for telling measurements apart
    // Measures every control the window shows now, once each.
    const auto take = [&] {
        if (QWidget* focus = QApplication::focusWidget()) {
            focus->clearFocus();
        }
        QApplication::processEvents();
        const QImage image = window.grab().toImage();
        for (QWidget* widget : window.findChildren<QWidget*>()) {
            if (widget->window() != &window || !widget->isVisible()) {
                continue;
            }
            for (const Frame& frame : framesOf(widget, &window)) {
                const QString key = state + '/' + frame.kind + '/' + frame.name + '/' +
                                    QString::number(reinterpret_cast<quintptr>(widget)) + '/' +
                                    QString::number(frame.rect.x());
                if (!seen.contains(key) && whollyShown(widget, &window, frame.rect)) {
                    seen.insert(key);
                    results.push_back(measure(image, frame));
                }
            }
        }
    };
    const auto everyPage = [&] {
        QTabWidget* tabs = content->tabs();
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            take();
            for (auto* inner : tabs->widget(i)->findChildren<QTabWidget*>()) {
                for (int j = 0; j < inner->count(); ++j) {
                    inner->setCurrentIndex(j);
                    take();
                }
                inner->setCurrentIndex(0);
            }
        }
        tabs->setCurrentIndex(0);
    };
    everyPage();
    // The focus ring of the panel's own buttons, on each unit's page.
    for (int unit = 0; unit < kUnitCount; ++unit) {
        content->tabs()->setCurrentIndex(unit);
        for (auto* button : content->tabs()->widget(unit)->findChildren<QPushButton*>()) {
            if (kOwnButtons.contains(button->objectName())) {
                button->setFocus(Qt::TabFocusReason);
                QApplication::processEvents();
                const QImage image = window.grab().toImage();
                for (Frame frame : framesOf(button, &window)) {
                    frame.kind += " (focused)";
                    results.push_back(measure(image, frame));
                }
                button->clearFocus();
            }
        }
    }
    Controller& controller = h.controller();
    for (const ModeToggle toggle : {ModeToggle::voiceModeToggle, ModeToggle::drumModeToggle,
                                    ModeToggle::midiModeToggle, ModeToggle::filterModeToggle,
                                    ModeToggle::regenModeToggle, ModeToggle::regen2ModeToggle}) {
        controller.setModeToggle(toggle, true);
    }
    for (int unit = 0; unit < kUnitCount; ++unit) {
        controller.toggleModButton(unit);
        controller.toggleLink(unit);
    }
    for (std::int64_t index = 0; index < kParameterCount; ++index) {
        controller.editParameter(index, static_cast<double>(kNrpnMax));
    }
    for (auto* slider : window.findChildren<QSlider*>()) {
        slider->setValue(slider->maximum());
    }
    h.queue.runPending();
    state = "on";
    everyPage();
    return results;
}

}  // namespace

class ContrastTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void contrastRatioFollowsWcag() {
        QCOMPARE(theme::contrastRatio(QColor(0x777777), QColor(0x777777)), 1.0);
        // #767676 is the lightest grey with 4.5:1 on white, #949494 the lightest with 3:1.
        const std::tuple<QColor, QColor, int> rows[] = {
            {Qt::black, Qt::white, 2100}, {Qt::white, Qt::black, 2100}, {0x767676, Qt::white, 454},
            {0x777777, Qt::white, 448},   {0x949494, Qt::white, 303},   {0x959595, Qt::white, 300}};
        for (const auto& [a, b, hundredths] : rows) {
            QCOMPARE(qRound(theme::contrastRatio(a, b) * 100), hundredths);
        }
    }

    void everyOutlineStandsOutFromItsGround_data() {
        QTest::addColumn<std::optional<QPalette>>("palette");
        QTest::newRow("default palette") << std::optional<QPalette>();
        QTest::newRow("dark palette") << std::optional(theme::darkPalette());
        QTest::newRow("blue-grey desktop palette") << std::optional(
            desktopPalette(QColor(0x2a2e32), QColor(0xfcfcfc), QColor(0x1b1e20), QColor(0x40464d)));
        QTest::newRow("mid-grey desktop palette") << std::optional(
            desktopPalette(QColor(0x808080), Qt::black, Qt::white, QColor(0x909090)));
    }

    void everyOutlineStandsOutFromItsGround() {
        QFETCH(std::optional<QPalette>, palette);
        const QPalette before = QApplication::palette();
        if (palette) {
            QApplication::setPalette(*palette);
        }
        std::vector<Measured> results;
        {
            WindowHarness h;
            results = surveyPanel(h);
        }
        QApplication::setPalette(before);

        // The weakest of each kind, for the log and the failure message.
        std::map<QString, std::pair<int, const Measured*>> weakest;
        QStringList failures;
        for (const Measured& m : results) {
            if (!m.frame.enabled) {  // an inactive control is exempt
                continue;
            }
            auto& [count, worst] = weakest[m.frame.kind];
            ++count;
            if (worst == nullptr || m.ratio < worst->ratio) {
                worst = &m;
            }
            if (m.ratio < kMinimumContrast) {
                failures << QString("%1 \"%2\" %3:1")
                                .arg(m.frame.kind, m.frame.name)
                                .arg(m.ratio, 0, 'f', 2);
            }
        }
        for (const auto& [kind, entry] : weakest) {
            const Measured& m = *entry.second;
            qInfo("%-22s %3d measured, lowest %5.2f:1 (\"%s\", outline %s on %s)", qPrintable(kind),
                  entry.first, m.ratio, qPrintable(m.frame.name), qPrintable(m.outline.name()),
                  qPrintable(m.ground.name()));
        }
        for (const QString kind :
             {"check box", "push button", "multiplication button", "Group button",
              "Reset DAC button", "picker", "value field", "slider groove", "slider handle", "tab",
              "multiplication button (focused)", "Group button (focused)",
              "Reset DAC button (focused)"}) {
            QVERIFY2(weakest.count(kind) == 1, qPrintable("no " + kind + " was measured"));
        }
        QVERIFY2(failures.isEmpty(), qPrintable("below 3:1: " + failures.join(", ")));
    }
};

QTEST_MAIN(ContrastTest)
#include "contrast_test.moc"
