#include "platform/image.h"

#include "platform/application.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include <exception>

// The widget that paints the picture. Errors raised while drawing cannot be shown from inside a
// paint (a modal box would paint again), so the application shows them once the paint is over.
// It paints every pixel of its own, the background where the picture is not: filling the
// window's background first and then covering it with the picture would write the area twice.
class TImage::Area : public QWidget {
public:
    explicit Area(TImage* owner) : owner_(owner) { setAttribute(Qt::WA_OpaquePaintEvent, true); }
    void Detach() { owner_ = nullptr; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!owner_) return;
        QPainter painter(this);
        try {
            owner_->Paint(painter, palette().brush(backgroundRole()));
        } catch (...) {
            Application->PostException(std::current_exception());
        }
    }

private:
    TImage* owner_;
};

void TPicture::Assign(const TGraphic* graphic) {
    graphic_ = graphic ? graphic->Clone() : nullptr;
    if (OnChange) OnChange();
}

TImage::TImage(TComponent* owner) : TControl(owner, new Area(this)) {
    picture_.OnChange = [this] { Widget()->update(); };
}

TImage::~TImage() {
    if (auto* area = static_cast<Area*>(Widget())) area->Detach();
}

void TImage::SetStretch(bool stretch) {
    stretch_ = stretch;
    Widget()->update();
}

void TImage::Paint(QPainter& painter, const QBrush& background) {
    const QRect area(0, 0, Width(), Height());
    TGraphic* graphic = picture_.Graphic();
    QRect painted;
    std::exception_ptr failure;
    if (graphic) {
        const QRect dest = stretch_ ? area : QRect(0, 0, graphic->Width(), graphic->Height());
        try {
            graphic->Draw(painter, dest);
        } catch (...) {
            failure = std::current_exception();
        }
        if (graphic->Painted()) painted = dest;
    }
    // Whatever the picture left (none, or a failed one, included) shows the background; in the
    // usual case the picture covers the area.
    if (!painted.contains(area))
        for (const QRect& r : QRegion(area) - painted) painter.fillRect(r, background);
    if (failure) std::rethrow_exception(failure);
}

bool TImage::SetLayoutProperty(const std::string& name, const TLayoutValue& value, TForm& root) {
    if (name == "Stretch") SetStretch(value.AsBool());
    else return TControl::SetLayoutProperty(name, value, root);
    return true;
}
