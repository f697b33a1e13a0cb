#include "backends/qt/qt_probe.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QTreeWidget>

#include "backends/qt/qt_impl.h"
#include "backends/qt/x11_windows.h"

namespace tv {

using qt::ss;

bool QtProbe::gadgetExists(int id) { return ui_.d->onGui() && ui_.d->find(id) != nullptr; }

bool QtProbe::isGadgetDisabled(int id) {
    qt::Gadget* g = ui_.d->onGui() ? ui_.d->find(id) : nullptr;
    return g && g->widget->testAttribute(Qt::WA_ForceDisabled);
}

bool QtProbe::isGadgetHidden(int id) {
    qt::Gadget* g = ui_.d->onGui() ? ui_.d->find(id) : nullptr;
    return g && g->widget->isHidden();
}

bool QtProbe::isWindowVisible(int id) {
    QWidget* w = ui_.d->onGui() ? windowWidget(id) : nullptr;
    return w && w->isVisible();
}

std::string QtProbe::windowTitle(int id) {
    qt::TvWindow* w = ui_.d->onGui() ? ui_.d->findWindow(id) : nullptr;
    return w ? w->title : std::string();
}

std::string QtProbe::getItemText(int id, int rowIndex, int column) {
    qt::Gadget* g = ui_.d->onGui() ? ui_.d->find(id) : nullptr;
    if (!g) return {};
    if (g->kind == GadgetKind::Combo) {
        auto* c = static_cast<QComboBox*>(g->widget);
        return rowIndex >= 0 && rowIndex < c->count() && column == 0 ? ss(c->itemText(rowIndex)) : std::string();
    }
    if (g->kind != GadgetKind::List) return {};
    QTreeWidgetItem* item = static_cast<QTreeWidget*>(g->widget)->topLevelItem(rowIndex);
    if (!item || column < 0 || column >= item->columnCount()) return {};
    return ss(item->text(column));
}

QWidget* QtProbe::windowWidget(int id) { return ui_.d->findWindow(id); }

QWidget* QtProbe::gadgetWidget(int id) {
    qt::Gadget* g = ui_.d->find(id);
    return g ? g->widget : nullptr;
}

bool QtProbe::windowManagerMayClose(QWidget* window) {
    if (!(window->windowFlags() & Qt::WindowCloseButtonHint)) {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
        return x11ClosingAllowed(window->winId());
    }
    return true;
}

double QtProbe::layoutScale() const { return ui_.d->scale; }

void QtProbe::finishLayout() { ui_.d->finishLayout(); }

long long QtProbe::mirrorRowWrites() { return ui_.d->mirror.rowWrites(); }

}  // namespace tv
