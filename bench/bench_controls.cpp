// What a data window's value control costs when a message changes its text: the kinds
// a window could use for its values, each in a window of 64, eight of them given a new
// number per message and the window painted as the event loop would paint it.

#include "guibenchmain.h"
#include "widgets/valuetext.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <benchmark/benchmark.h>

namespace {

enum class Kind { SelectableLabel, PlainLabel, ReadOnlyLineEdit, ValueText };

constexpr int kControls = 64;
constexpr int kChangedPerMessage = 8;

QWidget *makeControl(Kind kind, QWidget *parent)
{
    switch (kind) {
    case Kind::SelectableLabel: {
        auto *l = new QLabel(parent);
        l->setTextFormat(Qt::PlainText);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    }
    case Kind::PlainLabel: {
        auto *l = new QLabel(parent);
        l->setTextFormat(Qt::PlainText);
        return l;
    }
    case Kind::ReadOnlyLineEdit: {
        auto *e = new QLineEdit(parent);
        e->setReadOnly(true);
        e->setFrame(false);
        return e;
    }
    case Kind::ValueText:
        return new ::ValueText(parent);
    }
    return nullptr;
}

void setText(QWidget *w, const QString &text)
{
    if (auto *v = qobject_cast<ValueText *>(w))
        v->setText(text);
    else if (auto *l = qobject_cast<QLabel *>(w))
        l->setText(text);
    else if (auto *e = qobject_cast<QLineEdit *>(w); e && e->text() != text)
        e->setText(text);
}

void messages(benchmark::State &state, Kind kind, bool changing)
{
    QWidget window;
    auto *grid = new QGridLayout(&window);
    QList<QWidget *> controls;
    for (int i = 0; i < kControls; ++i) {
        controls.append(makeControl(kind, &window));
        grid->addWidget(controls.last(), i / 4, i % 4);
        setText(controls.last(), QStringLiteral("%1.5").arg(i));
    }
    window.show();
    QCoreApplication::processEvents();
    int message = 0;
    for (auto _ : state) {
        ++message;
        for (int i = 0; i < kChangedPerMessage; ++i) {
            const int which = (message * kChangedPerMessage + i) % kControls;
            setText(controls[which], changing ? QString::number(message * 0.25 + i)
                                              : QStringLiteral("%1.5").arg(which));
        }
        QCoreApplication::processEvents();
    }
}

void BM_Controls_SelectableLabel(benchmark::State &s)
{
    messages(s, Kind::SelectableLabel, true);
}
void BM_Controls_PlainLabel(benchmark::State &s)
{
    messages(s, Kind::PlainLabel, true);
}
void BM_Controls_ReadOnlyLineEdit(benchmark::State &s)
{
    messages(s, Kind::ReadOnlyLineEdit, true);
}
void BM_Controls_SelectableLabel_Unchanged(benchmark::State &s)
{
    messages(s, Kind::SelectableLabel, false);
}
void BM_Controls_ValueText(benchmark::State &s)
{
    messages(s, Kind::ValueText, true);
}
void BM_Controls_ValueText_Unchanged(benchmark::State &s)
{
    messages(s, Kind::ValueText, false);
}
BENCHMARK(BM_Controls_SelectableLabel)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Controls_PlainLabel)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Controls_ReadOnlyLineEdit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Controls_SelectableLabel_Unchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Controls_ValueText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Controls_ValueText_Unchanged)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runGuiBenchmarks(argc, argv);
}
