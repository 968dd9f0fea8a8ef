#pragma once

#include <QList>

namespace tavrine {

// The heights of a list of blocks, summed so that the top of any block and the block at any height are
// found in logarithmic time while single heights change (a Fenwick tree).
class HeightIndex {
public:
    explicit HeightIndex(const QList<double>& heights = {}) : m_heights(heights), m_tree(heights.size() + 1, 0.0) {
        for (qsizetype i = 0; i < heights.size(); ++i) {
            m_tree[i + 1] += heights[i];
            const qsizetype parent = (i + 1) + ((i + 1) & -(i + 1));
            if (parent <= heights.size()) m_tree[parent] += m_tree[i + 1];
        }
    }

    qsizetype size() const { return m_heights.size(); }
    double height(qsizetype block) const { return m_heights[block]; }
    double total() const { return top(size()); }

    void setHeight(qsizetype block, double height) {
        const double delta = height - m_heights[block];
        m_heights[block] = height;
        for (qsizetype i = block + 1; i < m_tree.size(); i += i & -i) m_tree[i] += delta;
    }

    // The sum of the heights of the blocks before block.
    double top(qsizetype block) const {
        double sum = 0;
        for (qsizetype i = block; i > 0; i -= i & -i) sum += m_tree[i];
        return sum;
    }

    // The block that holds y: the last one whose top is at or above it (0 for y above the first, the last
    // block for y past the end); 0 for an empty index.
    qsizetype blockAt(double y) const {
        qsizetype position = 0;
        qsizetype step = 1;
        while (step * 2 < m_tree.size()) step *= 2;
        for (; step > 0; step /= 2) {
            if (position + step < m_tree.size() && m_tree[position + step] <= y) {
                position += step;
                y -= m_tree[position];
            }
        }
        return std::min(position, std::max<qsizetype>(size() - 1, 0));
    }

private:
    QList<double> m_heights;
    QList<double> m_tree;
};

}  // namespace tavrine
