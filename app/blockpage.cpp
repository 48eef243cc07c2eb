#include "app/blockpage.h"

#include <QSpinBox>
#include <QWidget>

template <typename Block> void BlockPage<Block>::Show(const Block &block) const
{
    for (const Box &box : boxes)
        box.spin->setValue(block.*box.member);
}

template <typename Block> Block BlockPage<Block>::Take(Block block) const
{
    for (const Box &box : boxes) {
        if (box.use == FieldUse::Edited)
            block.*box.member = box.spin->value();
    }
    return block;
}

template <typename Block> Block BlockPage<Block>::Shown() const
{
    Block block;
    for (const Box &box : boxes)
        block.*box.member = box.spin->value();
    return block;
}

template <typename Block> QSpinBox *BlockPage<Block>::FindBox(const QWidget &page, const char *name)
{
    auto *spin = page.findChild<QSpinBox *>(QLatin1String(name));
    // A form without one of the boxes is a build that cannot show its block; stop at once rather
    // than on the first read.
    if (!spin)
        qFatal("No spin box %s on page %s", name, qPrintable(page.objectName()));
    return spin;
}

template class BlockPage<CalibrationBlock>;
template class BlockPage<UserParamBlock>;
