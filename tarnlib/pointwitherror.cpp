#include <tarnlib/pointwitherror.h>

#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

namespace TarGse {

namespace {

constexpr double END_ERROR = std::numeric_limits<double>::max();

// The error of p between its neighbours a and b.
double innerError(const PointWithError& a, const PointWithError& p, const PointWithError& b,
                  double maxY) {
    if (a.y == p.y && p.y == b.y) {
        return 0.0;
    }
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double d =
        std::abs(b.x * a.y + p.x * dy - dx * p.y - a.x * b.y) / std::sqrt(dx * dx + dy * dy);
    const double m2 = maxY * maxY;
    if (a.y > p.y && b.y > p.y) {
        const double e = 1.1 * d;
        return e + 0.1 * e * (maxY - p.y) * (maxY - p.y) / m2;
    }
    const double e = (a.y < p.y && b.y < p.y) ? 1.5 * d : d;
    return e + 0.3 * e * p.y * p.y / m2;
}

// The culling works on an index-linked copy of the list with the errors ordered in a set, so
// that each removal costs a logarithmic step instead of a scan for the least error; removal
// order and results are those of the list operations above.
class Culler {
public:
    Culler(const QList<QPointF>& in) : nodes_(size_t(in.size())) {
        for (qsizetype i = 0; i < in.size(); ++i) {
            Node& n = nodes_[size_t(i)];
            n.p = {in[i].x(), in[i].y(), 0.0};
            n.prev = int(i) - 1;
            n.next = i + 1 < in.size() ? int(i) + 1 : -1;
            maxY_ = i == 0 ? n.p.y : std::max(maxY_, n.p.y);
        }
        count_ = int(nodes_.size());
        for (int i = 0; i < count_; ++i) {
            nodes_[size_t(i)].p.error = error(i);
        }
    }

    int count() const { return count_; }

    // One pass removing zero-error points; the point that moves into a removed place is
    // passed over, as a list walk that steps on after erasing does.
    void removeZeroErrors(bool recompute) {
        int i = count_ ? 0 : -1;
        while (i >= 0) {
            if (nodes_[size_t(i)].p.error == 0.0 && isInner(i)) {
                const int successor = remove(i, recompute);
                i = nodes_[size_t(successor)].next;
            } else {
                i = nodes_[size_t(i)].next;
            }
        }
    }

    void reduce(int targetCount, double maxError) {
        std::set<std::pair<double, int>> byError;
        for (int i = 0; i >= 0 && i < int(nodes_.size()); i = nodes_[size_t(i)].next) {
            byError.insert({key(i), i});
        }
        while (count_ > targetCount && !byError.empty()) {
            const auto [e, i] = *byError.begin();
            if ((maxError != 0.0 && !(nodes_[size_t(i)].p.error <= maxError)) || !isInner(i)) {
                return;
            }
            byError.erase(byError.begin());
            const int before = nodes_[size_t(i)].prev;
            const int after = nodes_[size_t(i)].next;
            byError.erase({key(before), before});
            byError.erase({key(after), after});
            remove(i, true);
            byError.insert({key(before), before});
            byError.insert({key(after), after});
        }
    }

    void copyTo(QList<QPointF>& out) const {
        out.clear();
        out.reserve(count_);
        for (int i = count_ ? 0 : -1; i >= 0; i = nodes_[size_t(i)].next) {
            out.append(QPointF(nodes_[size_t(i)].p.x, nodes_[size_t(i)].p.y));
        }
    }

private:
    struct Node {
        PointWithError p;
        int prev = -1;
        int next = -1;
    };

    bool isInner(int i) const { return nodes_[size_t(i)].prev >= 0 && nodes_[size_t(i)].next >= 0; }

    double error(int i) const {
        if (!isInner(i)) {
            return END_ERROR;
        }
        const Node& n = nodes_[size_t(i)];
        return innerError(nodes_[size_t(n.prev)].p, n.p, nodes_[size_t(n.next)].p, maxY_);
    }

    // A NaN error (a flat zero spectrum has none, but damaged input may) sorts after every
    // number, where a comparison-based search for the least error never picks it either.
    double key(int i) const {
        const double e = nodes_[size_t(i)].p.error;
        return std::isnan(e) ? std::numeric_limits<double>::infinity() : e;
    }

    // Unlinks inner point i and returns its successor.
    int remove(int i, bool recompute) {
        Node& n = nodes_[size_t(i)];
        nodes_[size_t(n.prev)].next = n.next;
        nodes_[size_t(n.next)].prev = n.prev;
        --count_;
        if (recompute) {
            nodes_[size_t(n.prev)].p.error = error(n.prev);
            nodes_[size_t(n.next)].p.error = error(n.next);
        }
        return n.next;
    }

    std::vector<Node> nodes_;
    double maxY_ = 0.0;
    int count_ = 0;
};

}  // namespace

double getError(PointWithErrorList::const_iterator it, const PointWithErrorList& list,
                double maxY) {
    if (it == list.begin() || std::next(it) == list.end()) {
        return END_ERROR;
    }
    return innerError(*std::prev(it), *it, *std::next(it), maxY);
}

PointWithErrorList::iterator removePoint(PointWithErrorList::iterator it, PointWithErrorList& list,
                                         double maxY, bool recompute) {
    if (it == list.begin() || it == list.end() || std::next(it) == list.end()) {
        return it;
    }
    const auto next = list.erase(it);
    if (recompute) {
        const auto before = std::prev(next);
        before->error = getError(before, list, maxY);
        next->error = getError(next, list, maxY);
    }
    return next;
}

void cull(const QList<QPointF>& in, QList<QPointF>& out, int targetCount, double maxError,
          bool removeFlat) {
    Culler c(in);
    c.removeZeroErrors(true);
    c.reduce(targetCount, maxError);
    if (removeFlat) {
        c.removeZeroErrors(false);
    }
    c.copyTo(out);
}

}  // namespace TarGse
