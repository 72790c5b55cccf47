#include "TabOrder.h"

#include <algorithm>
#include <numeric>

namespace tolvane {

std::vector<int> ReadingOrder(const std::vector<QRect>& places) {
    std::vector<int> byTop(places.size());
    std::iota(byTop.begin(), byTop.end(), 0);
    std::stable_sort(byTop.begin(), byTop.end(), [&](int a, int b) {
        const QRect& pa = places[std::size_t(a)];
        const QRect& pb = places[std::size_t(b)];
        return pa.top() != pb.top() ? pa.top() < pb.top() : pa.left() < pb.left();
    });

    std::vector<int> order;
    order.reserve(places.size());
    std::vector<bool> taken(places.size(), false);
    for (int first : byTop) {
        if (taken[std::size_t(first)])
            continue;
        const QRect& head = places[std::size_t(first)];
        std::vector<int> row;
        for (int candidate : byTop) {
            if (taken[std::size_t(candidate)])
                continue;
            const int centre = places[std::size_t(candidate)].center().y();
            if (candidate == first || (centre >= head.top() && centre <= head.bottom())) {
                row.push_back(candidate);
                taken[std::size_t(candidate)] = true;
            }
        }
        std::stable_sort(row.begin(), row.end(), [&](int a, int b) {
            const QRect& pa = places[std::size_t(a)];
            const QRect& pb = places[std::size_t(b)];
            return pa.left() != pb.left() ? pa.left() < pb.left() : pa.top() < pb.top();
        });
        order.insert(order.end(), row.begin(), row.end());
    }
    return order;
}

}  // namespace tolvane
