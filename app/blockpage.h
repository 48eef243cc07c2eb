#pragma once

#include "app/blockboxes.h"
#include "link/blockfields.h"

#include <QVector>

#include <array>

class QSpinBox;
class QWidget;

// A service page's spin boxes, one per field of its block, looked up once by their object names
// (app/blockboxes.h) among the page's children. Which field a box shows, and whether it is ever
// taken back, comes from the block's field table.
template <typename Block> class BlockPage
{
public:
    // Every field must have its box on the page.
    template <std::size_t N>
    BlockPage(const QWidget &page, const std::array<BlockField<Block>, N> &fields)
    {
        constexpr const auto &names = BoxesOf<Block>();
        static_assert(N == names.size(), "one box per field");
        boxes.reserve(int(N));
        for (std::size_t i = 0; i < N; ++i)
            boxes.append(Box{fields[i].member, fields[i].use, FindBox(page, names[i].box)});
    }

    // Every field in its box; a value beyond a box's range shows as its nearest limit.
    void Show(const Block &block) const;
    // block with its edited fields as the boxes hold them; the others keep block's values.
    Block Take(Block block) const;
    // Every field as the boxes hold it: the record to send before anything has been read.
    Block Shown() const;

private:
    struct Box
    {
        qint32 Block::*member;
        FieldUse use;
        QSpinBox *spin;
    };

    static QSpinBox *FindBox(const QWidget &page, const char *name);

    QVector<Box> boxes;
};

using CalibrationPage = BlockPage<CalibrationBlock>;
using UserParamPage = BlockPage<UserParamBlock>;

extern template class BlockPage<CalibrationBlock>;
extern template class BlockPage<UserParamBlock>;
