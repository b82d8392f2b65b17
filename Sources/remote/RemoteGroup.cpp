#include "remote/RemoteGroup.h"

#include "graphs/PlotGeometry.h"
#include "graphs/RemoteGraphView.h"

#include <QCoreApplication>

#include <utility>

RemoteGroup::RemoteGroup() {
    using Kind = RemoteGraphView::Kind;
    for (Kind kind : {Kind::Cpu, Kind::Network, Kind::Memory, Kind::Disk})
        views_.push_back(new RemoteGraphView(QRect(0, 0, 64, 64), kind));
    views_[1]->setTitle(QCoreApplication::translate("RemoteHost", "Net"));
    views_[2]->setTitle(QCoreApplication::translate("RemoteHost", "Mem"));
    views_[3]->setTitle(QCoreApplication::translate("RemoteHost", "Disk"));
}

RemoteGroup::~RemoteGroup() {
    for (RemoteGraphView* view : views_) {
        view->removeFromSuperview();
        delete view;
    }
}

void RemoteGroup::setTickHandler(std::function<void()> handler) {
    views_.front()->setTickHandler(std::move(handler));
}

void RemoteGroup::showName(const QString& name, Qt::TextElideMode elide) {
    const qreal width = views_.front()->imageSize().width();
    if (!elided_ || elided_->name != name || elided_->mode != elide || elided_->width != width)
        elided_ = Elided{name, views_.front()->elidedTitle(name, elide), elide, width};
    show(elided_->shown, false);
}

void RemoteGroup::show(const QString& word, bool greyed) {
    views_.front()->showState(word, greyed);
    for (std::size_t i = 1; i < views_.size(); ++i)
        views_[i]->showState(views_[i]->graphTitle(), greyed);
}

void RemoteGroup::push(const NodeRates& rates) {
    for (RemoteGraphView* view : views_)
        view->push(rates);
}

void RemoteGroup::drawHeld() {
    if (held_)
        push(*std::exchange(held_, std::nullopt));
}

int RemoteGroup::columns() const {
    return PlotGeometry::capacity(float(views_.front()->width()));
}
