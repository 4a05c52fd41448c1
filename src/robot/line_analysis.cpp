// Analysis of the line memory: which lines continue which (the arc of one line carried into
// the start of the next), what a line costs under each plan type, the cheapest chain of lines
// through a lap, and thinning crowded first-lap sets by how many other lines each one crosses.
#include <algorithm>
#include <cmath>

#include "core/settings.h"
#include "platform/log.h"
#include "robot/robot_internal.h"

namespace {

constexpr double NO_CHAIN = 1e18;     // an empty record: no chain starts with it
constexpr int PSEUDO = LINES_PER_SET; // the one state of a set without lines

// Which record of the next set continues which record of a set: one 45 x 45 table per set,
// rebuilt whenever a record changed (valid == false).
struct Connections {
    bool valid = false;
    std::vector<unsigned char> table; // [set][i][j]
};
Connections g_connections;

double horizontal(double ax, double az, double bx, double bz) {
    return std::hypot(ax - bx, az - bz);
}

// The set whose lines follow set s's: the next of the lap, and the normal lap's first after
// the last of either lap.
int next_set(int s) {
    const RobotState& g = g_robots;
    if (s + 1 < g.first_sets) return s + 1;
    if (s < g.first_sets) return g.first_sets;
    return g.first_sets + (s - g.first_sets + 1) % g.normal_sets;
}

void build_connections() {
    int n = line_set_count();
    g_connections.table.assign((size_t)n * LINES_PER_SET * LINES_PER_SET, 0);
    for (int s = 0; s < n; s++) {
        const LineSet& a = g_robots.sets[(size_t)s];
        const LineSet& b = g_robots.sets[(size_t)next_set(s)];
        for (int i = 0; i < LINES_PER_SET; i++)
            for (int j = 0; j < LINES_PER_SET; j++)
                g_connections.table[((size_t)s * LINES_PER_SET + i) * LINES_PER_SET + j] =
                    lines_connected(a.lines[i], b.lines[j]);
    }
    g_connections.valid = true;
}

// Transition cost from record i of set s to record j of the next set (either may be the
// pseudo state of a set without lines, which joins anything for free).
double transition(int s, int i, int j) {
    if (i == PSEUDO || j == PSEUDO) return 0;
    if (!g_connections.valid) build_connections();
    return g_connections.table[((size_t)s * LINES_PER_SET + i) * LINES_PER_SET + j]
               ? 0
               : LINE_UNCONNECTED;
}

// The states of a set: its records in use, or the pseudo state when it has none.
int states_of(int set, int out[LINES_PER_SET + 1]) {
    int n = 0;
    for (int k = 0; k < LINES_PER_SET; k++)
        if (!g_robots.sets[(size_t)set].lines[k].points.empty()) out[n++] = k;
    if (n == 0) out[n++] = PSEUDO;
    return n;
}

double state_cost(int set, int state, int type) {
    return state == PSEUDO ? 0 : line_cost(g_robots.sets[(size_t)set].lines[state], type);
}

// The cheapest chain through the sets seq[0..n-1] (each the next of the one before), starting
// in `start` (a state of seq[0], or -1 for any) and, when `end` is not -1, continuing into
// state `end` of the set after seq[n-1]. choice[k] receives the state taken in seq[k] (-1 when
// no chain exists). Returns the chain's cost.
double best_chain(const std::vector<int>& seq, int type, int start, int end, int* choice) {
    size_t n = seq.size();
    std::vector<double> cost(n * (LINES_PER_SET + 1), NO_CHAIN);
    std::vector<int> parent(n * (LINES_PER_SET + 1), -1);
    int states[LINES_PER_SET + 1], prev_states[LINES_PER_SET + 1];
    int prev_n = 0;
    for (size_t k = 0; k < n; k++) {
        int m = states_of(seq[k], states);
        for (int a = 0; a < m; a++) {
            int i = states[a];
            double own = state_cost(seq[k], i, type);
            double best = NO_CHAIN;
            int from = -1;
            if (k == 0) {
                if (start < 0 || start == i) best = 0;
            } else {
                for (int b = 0; b < prev_n; b++) {
                    int j = prev_states[b];
                    double c = cost[(k - 1) * (LINES_PER_SET + 1) + j];
                    if (c >= NO_CHAIN) continue;
                    c += transition(seq[k - 1], j, i);
                    if (c < best) {
                        best = c;
                        from = j;
                    }
                }
            }
            if (best < NO_CHAIN) {
                cost[k * (LINES_PER_SET + 1) + i] = best + own;
                parent[k * (LINES_PER_SET + 1) + i] = from;
            }
        }
        std::copy(states, states + m, prev_states);
        prev_n = m;
    }
    double total = NO_CHAIN;
    int last = -1;
    for (int b = 0; b < prev_n; b++) {
        int j = prev_states[b];
        double c = cost[(n - 1) * (LINES_PER_SET + 1) + j];
        if (c >= NO_CHAIN) continue;
        if (end != -1) c += transition(seq[n - 1], j, end);
        if (c < total) {
            total = c;
            last = j;
        }
    }
    for (size_t k = n; k-- > 0;) {
        choice[k] = last;
        if (last >= 0) last = parent[k * (LINES_PER_SET + 1) + last];
    }
    return total;
}

int in_use(const LineSet& set) {
    int n = 0;
    for (const LineRecord& r : set.lines) n += !r.points.empty();
    return n;
}

bool crosses(const LineRecord& a, const LineRecord& b) {
    // Bounding boxes first: most pairs of lines of a set lie side by side without touching.
    auto box = [](const LineRecord& r, float* x0, float* z0, float* x1, float* z1) {
        *x0 = *x1 = r.points[0].x;
        *z0 = *z1 = r.points[0].z;
        for (const LinePoint& p : r.points) {
            *x0 = std::min(*x0, p.x);
            *x1 = std::max(*x1, p.x);
            *z0 = std::min(*z0, p.z);
            *z1 = std::max(*z1, p.z);
        }
    };
    float ax0, az0, ax1, az1, bx0, bz0, bx1, bz1;
    box(a, &ax0, &az0, &ax1, &az1);
    box(b, &bx0, &bz0, &bx1, &bz1);
    if (ax1 < bx0 || bx1 < ax0 || az1 < bz0 || bz1 < az0) return false;
    for (size_t i = 0; i + 1 < a.points.size(); i++)
        for (size_t j = 0; j + 1 < b.points.size(); j++)
            if (segments_cross(a.points[i].x, a.points[i].z, a.points[i + 1].x, a.points[i + 1].z,
                               b.points[j].x, b.points[j].z, b.points[j + 1].x, b.points[j + 1].z))
                return true;
    return false;
}

// Of two records crossing equally many others, whether `r` is the worse one to keep than the
// chosen `c` (and so becomes the one emptied): untested before tested, then the slower.
bool worse(const LineRecord& r, const LineRecord& c) {
    if ((r.tests > 0) != (c.tests > 0)) return r.tests == 0;
    if (r.tests > 0) return (double)r.second_sum / r.tests > (double)c.second_sum / c.tests;
    return r.second_time > c.second_time;
}

// Step (a) of thinning: empties the record crossed by the most others; 1 when one was emptied.
bool thin_by_crossings(LineSet* set) {
    int count[LINES_PER_SET] = {};
    for (int i = 0; i < LINES_PER_SET; i++) {
        if (set->lines[i].points.size() < 2) continue;
        for (int j = i + 1; j < LINES_PER_SET; j++) {
            if (set->lines[j].points.size() < 2) continue;
            if (crosses(set->lines[i], set->lines[j])) {
                count[i]++;
                count[j]++;
            }
        }
    }
    int chosen = -1;
    for (int i = 0; i < LINES_PER_SET; i++) {
        if (count[i] == 0) continue;
        if (chosen < 0 || count[i] > count[chosen] ||
            (count[i] == count[chosen] && worse(set->lines[i], set->lines[chosen])))
            chosen = i;
    }
    if (chosen < 0) return false;
    line_record_clear(&set->lines[chosen]);
    return true;
}

} // namespace

bool segments_cross(float ax, float az, float bx, float bz, float cx, float cz, float dx,
                    float dz) {
    // Properly: each segment's ends lie strictly on opposite sides of the other's line.
    auto side = [](double px, double pz, double qx, double qz, double rx, double rz) {
        double c = (qx - px) * (rz - pz) - (qz - pz) * (rx - px);
        return (c > 0) - (c < 0);
    };
    int s1 = side(ax, az, bx, bz, cx, cz), s2 = side(ax, az, bx, bz, dx, dz);
    int s3 = side(cx, cz, dx, dz, ax, az), s4 = side(cx, cz, dx, dz, bx, bz);
    return s1 * s2 < 0 && s3 * s4 < 0;
}

void circle_centre(const LinePoint& a, const LinePoint& b, const LinePoint& c, double* cx,
                   double* cz) {
    // Perpendicular bisectors m1 + t d1 and m2 + u d2 of a-b and b-c.
    double m1x = (a.x + (double)b.x) / 2, m1z = (a.z + (double)b.z) / 2;
    double m2x = (b.x + (double)c.x) / 2, m2z = (b.z + (double)c.z) / 2;
    double d1x = -((double)b.z - a.z), d1z = (double)b.x - a.x;
    double d2x = -((double)c.z - b.z), d2z = (double)c.x - b.x;
    double den = d1x * d2z - d1z * d2x;
    if (std::fabs(den) <= 1e-6) {
        // Points in a line: a centre far out along the first bisector.
        double len = std::hypot(d1x, d1z);
        if (!(len > 0)) {
            d1x = 1;
            d1z = 0;
            len = 1;
        }
        *cx = m1x + 1000000.0 * d1x / len;
        *cz = m1z + 1000000.0 * d1z / len;
        return;
    }
    double t = ((m2x - m1x) * d2z - (m2z - m1z) * d2x) / den;
    *cx = m1x + t * d1x;
    *cz = m1z + t * d1z;
}

bool lines_connected(const LineRecord& i, const LineRecord& j) {
    size_t n = i.points.size();
    if (n < 3 || j.points.size() < 2) return false;
    const LinePoint& last = i.points[n - 1];
    const LinePoint& first = j.points[0];
    const LinePoint& second = j.points[1];
    if (std::fabs(last.speed) > std::fabs(first.speed) + 15) return false;
    double x, z;
    circle_centre(i.points[n - 3], i.points[n - 2], last, &x, &z);
    double d = horizontal(x, z, last.x, last.z);
    double d0 = horizontal(x, z, first.x, first.z);
    double lo = std::max(0.0, d - 2.5), hi = d + 2.5;
    if (d0 * d0 < lo * lo || d0 * d0 > hi * hi) return false;
    return std::fabs(horizontal(x, z, second.x, second.z) - d0) <= 2;
}

double line_cost(const LineRecord& r, int type) {
    int t = r.tests, f = r.failures;
    if (type == 3) {
        // The tester's cost: lines tested least come first, lines that mostly fail last.
        if (t + f > 5 && 4LL * t < f) return 100000;
        long long k = (long long)t + 4LL * f;
        if (k == 0) return 0;
        int bits = 0;
        while (k > 0) {
            bits++;
            k >>= 1;
        }
        return 1000.0 * (bits + 4);
    }
    if (t < (type == 2 ? 1 : 5)) return 1000000;
    double share = (double)f / ((double)t + f);
    if (type == 1) share *= 1.1428572;
    if (type == 2) share *= 4;
    share = std::clamp(share, 0.0, 1.0);
    return (double)r.first_sum / t + 5.0 * TICKS_PER_SECOND * share;
}

void line_chain_costs(int first_segment, int count, int type, double out[LINES_PER_SET]) {
    // Backward over the sets: W(l) = cost(l) + the cheapest way on from l.
    int sets[16];
    count = std::clamp(count, 1, 16);
    for (int k = 0; k < count; k++) sets[k] = set_of(first_segment + k);
    double next[LINES_PER_SET + 1], here[LINES_PER_SET + 1];
    int next_states[LINES_PER_SET + 1], states[LINES_PER_SET + 1];
    int next_n = 0;
    for (int k = count - 1; k >= 0; k--) {
        int m = states_of(sets[k], states);
        for (int a = 0; a < m; a++) {
            int i = states[a];
            double on = 0;
            if (k < count - 1) {
                on = NO_CHAIN;
                for (int b = 0; b < next_n; b++) {
                    double c = transition(sets[k], i, next_states[b]) + next[b];
                    if (c < on) on = c;
                }
            }
            here[a] = state_cost(sets[k], i, type) + on;
        }
        std::copy(here, here + m, next);
        std::copy(states, states + m, next_states);
        next_n = m;
    }
    for (int k = 0; k < LINES_PER_SET; k++) out[k] = NO_CHAIN;
    for (int b = 0; b < next_n; b++)
        if (next_states[b] != PSEUDO) out[next_states[b]] = next[b];
}

void line_memory_connections_changed() {
    g_connections.valid = false;
}

void line_memory_thin() {
    RobotState& g = g_robots;
    for (int s = 0; s < g.first_sets && s < line_set_count(); s++) {
        LineSet& set = g.sets[(size_t)s];
        while (in_use(set) >= 44) {
            bool any = thin_by_crossings(&set);
            int evict = line_eviction_choice(set);
            if (evict >= 0) {
                line_record_clear(&set.lines[evict]);
                any = true;
            }
            if (!any) break;
        }
    }
    line_memory_connections_changed();
}

void line_memory_analyse() {
    RobotState& g = g_robots;
    int sf = g.first_sets, sp = g.normal_sets;
    if (line_set_count() == 0 || sp <= 0) return;
    line_memory_connections_changed();
    std::vector<int> normal, first;
    for (int s = 0; s < sp; s++) normal.push_back(sf + s);
    for (int s = 0; s < sf; s++) first.push_back(s);
    std::vector<int> choice(std::max(sp, sf) + 1), best_choice(std::max(sp, sf) + 1);
    for (int type = 0; type < LINE_COST_TYPES; type++) {
        std::vector<int>& plan = g.plans[type];
        plan.assign(g.sets.size(), 0);
        // Normal lap: a closed chain, tried from every state of its first set.
        int states[LINES_PER_SET + 1];
        int m = states_of(sf, states);
        double normal_cost = NO_CHAIN;
        for (int a = 0; a < m; a++) {
            int start = states[a];
            double c = best_chain(normal, type, start, start, choice.data());
            if (c < normal_cost) {
                normal_cost = c;
                std::copy(choice.begin(), choice.begin() + sp, best_choice.begin());
            }
        }
        int entry = normal_cost < NO_CHAIN ? best_choice[0] : -1;
        for (int s = 0; s < sp && normal_cost < NO_CHAIN; s++) {
            int k = best_choice[(size_t)s];
            const LineRecord* r =
                k >= 0 && k != PSEUDO ? &g.sets[(size_t)(sf + s)].lines[k] : nullptr;
            plan[(size_t)(sf + s)] = r && r->tests >= 5 ? r->id : 0;
        }
        // First lap: a chain into the normal lap's first line.
        double first_cost = 0;
        if (sf > 0) {
            first_cost = best_chain(first, type, -1, entry < 0 ? -1 : entry, choice.data());
            for (int s = 0; s < sf && first_cost < NO_CHAIN; s++) {
                int k = choice[(size_t)s];
                const LineRecord* r = k >= 0 && k != PSEUDO ? &g.sets[(size_t)s].lines[k] : nullptr;
                plan[(size_t)s] = r && r->tests >= 5 ? r->id : 0;
            }
        }
        if (g_settings.debug_level) {
            log_printf("First lap: %f\n", first_cost / TICKS_PER_SECOND);
            log_printf("Normal lap: %f\n", normal_cost / TICKS_PER_SECOND);
        }
    }
}
