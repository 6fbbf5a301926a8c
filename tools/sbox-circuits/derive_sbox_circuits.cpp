/* Derives Boolean circuits (AND, OR, XOR, AND-NOT, NOT) for the eight DES S-boxes of des/DESTables.h
 * and prints them as the C++ header des/sbox_circuits.h.
 *
 * Every signal is a 64-bit truth table over the six S-box inputs b0..b5 (b0 the most significant
 * bit of the input index). An output is built by Shannon decomposition on one input v:
 *   f = f0 ^ (v & (f0 ^ f1))   or   f = f1 ^ (~v & (f0 ^ f1)),
 * with the cheap special cases (a constant or complementary cofactor) taking one gate. Before a
 * function is decomposed, the pool of signals built so far is searched for the function itself, its
 * complement, or one gate over two pool signals, which is where outputs share their work. The
 * splitting input is chosen by trying every input in the upper levels and a greedy score below; the
 * four outputs are tried in every order and the smallest circuit is kept.
 *
 * Build and run (a few minutes):
 *   cmake --build build/release --target derive-sbox-circuits
 *   build/release/tools/sbox-circuits/derive-sbox-circuits > des/sbox_circuits.h
 */
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "des/DESTables.h"

namespace {

using Table = std::uint64_t;

enum class Op { Input, And, Or, Xor, AndNot, Not };

struct Gate {
    Op op;
    int a;
    int b;
    Table table;
};

using Circuit = std::vector<Gate>;

constexpr int kInputs = 6;
constexpr Table kAll = ~Table{0};
constexpr int kExhaustiveLevels = 3;

Table input_table(int v)
{
    Table t = 0;
    for (int i = 0; i < 64; ++i) {
        if ((i >> (kInputs - 1 - v)) & 1) {
            t |= Table{1} << i;
        }
    }
    return t;
}

Table output_table(int box, int bit)
{
    Table t = 0;
    for (int i = 0; i < 64; ++i) {
        const int row = ((i >> 4) & 2) | (i & 1);
        const int column = (i >> 1) & 15;
        if ((S_Box[box][row][column] >> (3 - bit)) & 1) {
            t |= Table{1} << i;
        }
    }
    return t;
}

int shift_of(int v)
{
    return 1 << (kInputs - 1 - v);
}

Table cofactor(Table f, int v, bool value)
{
    const Table mask = input_table(v);
    const int s = shift_of(v);
    if (value) {
        const Table hi = f & mask;
        return hi | (hi >> s);
    }
    const Table lo = f & ~mask;
    return lo | (lo << s);
}

bool depends_on(Table f, int v)
{
    return cofactor(f, v, false) != cofactor(f, v, true);
}

int find(const Circuit& c, Table t)
{
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (c[i].table == t) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int add(Circuit& c, Op op, int a, int b)
{
    const Table x = c[a].table;
    const Table y = b >= 0 ? c[b].table : 0;
    Table t = 0;
    switch (op) {
    case Op::And:
        t = x & y;
        break;
    case Op::Or:
        t = x | y;
        break;
    case Op::Xor:
        t = x ^ y;
        break;
    case Op::AndNot:
        t = x & ~y;
        break;
    case Op::Not:
        t = ~x;
        break;
    case Op::Input:
        break;
    }
    const int existing = find(c, t);
    if (existing >= 0) {
        return existing;
    }
    c.push_back({op, a, b, t});
    return static_cast<int>(c.size()) - 1;
}

bool one_gate(Circuit& c, Table f, int& result)
{
    const int n = static_cast<int>(c.size());
    for (int i = 0; i < n; ++i) {
        if (c[i].table == ~f) {
            result = add(c, Op::Not, i, -1);
            return true;
        }
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const Table x = c[i].table;
            const Table y = c[j].table;
            if (i < j && (x & y) == f) {
                result = add(c, Op::And, i, j);
                return true;
            }
            if (i < j && (x | y) == f) {
                result = add(c, Op::Or, i, j);
                return true;
            }
            if (i < j && (x ^ y) == f) {
                result = add(c, Op::Xor, i, j);
                return true;
            }
            if (i != j && (x & ~y) == f) {
                result = add(c, Op::AndNot, i, j);
                return true;
            }
        }
    }
    return false;
}

int synthesize(Circuit& c, Table f, int level);

/* Builds f split on input v, in the given form (0: from f0, 1: from f1). */
int split_on(Circuit& c, Table f, int v, int form, int level)
{
    const Table f0 = cofactor(f, v, false);
    const Table f1 = cofactor(f, v, true);
    const int var = v;
    if (f0 == 0) {
        return add(c, Op::And, synthesize(c, f1, level + 1), var);
    }
    if (f1 == 0) {
        return add(c, Op::AndNot, synthesize(c, f0, level + 1), var);
    }
    if (f1 == kAll) {
        return add(c, Op::Or, synthesize(c, f0, level + 1), var);
    }
    if (f0 == ~f1) {
        return add(c, Op::Xor, synthesize(c, f0, level + 1), var);
    }
    if (f0 == kAll) {
        return add(c, Op::Not, add(c, Op::AndNot, var, synthesize(c, f1, level + 1)), -1);
    }
    const int base = synthesize(c, form == 0 ? f0 : f1, level + 1);
    const int difference = synthesize(c, f0 ^ f1, level + 1);
    const int selected = form == 0 ? add(c, Op::And, difference, var) : add(c, Op::AndNot, difference, var);
    return add(c, Op::Xor, base, selected);
}

int greedy_score(const Circuit& c, Table f, int v)
{
    const Table f0 = cofactor(f, v, false);
    const Table f1 = cofactor(f, v, true);
    int score = 0;
    for (Table t : {f0, f1, f0 ^ f1}) {
        if (find(c, t) >= 0) {
            score -= 8;
        }
        for (int u = 0; u < kInputs; ++u) {
            score += depends_on(t, u) ? 1 : 0;
        }
    }
    return score;
}

int synthesize(Circuit& c, Table f, int level)
{
    const int existing = find(c, f);
    if (existing >= 0) {
        return existing;
    }
    int result = -1;
    if (one_gate(c, f, result)) {
        return result;
    }
    std::vector<int> candidates;
    for (int v = 0; v < kInputs; ++v) {
        if (depends_on(f, v)) {
            candidates.push_back(v);
        }
    }
    if (level >= kExhaustiveLevels) {
        const auto best = std::min_element(candidates.begin(), candidates.end(),
                                           [&](int x, int y) { return greedy_score(c, f, x) < greedy_score(c, f, y); });
        return split_on(c, f, *best, 0, level);
    }
    Circuit best;
    int best_result = -1;
    for (int v : candidates) {
        for (int form = 0; form < 2; ++form) {
            Circuit trial = c;
            const int r = split_on(trial, f, v, form, level);
            if (best_result < 0 || trial.size() < best.size()) {
                best = trial;
                best_result = r;
            }
        }
    }
    c = best;
    return best_result;
}

Circuit inputs_only()
{
    Circuit c;
    for (int v = 0; v < kInputs; ++v) {
        c.push_back({Op::Input, v, -1, input_table(v)});
    }
    return c;
}

struct Result {
    Circuit circuit;
    std::array<int, 4> outputs;
};

Result derive_box(int box)
{
    std::array<int, 4> order = {0, 1, 2, 3};
    Result best{};
    do {
        Result trial{inputs_only(), {}};
        for (int bit : order) {
            trial.outputs[bit] = synthesize(trial.circuit, output_table(box, bit), 0);
        }
        if (best.circuit.empty() || trial.circuit.size() < best.circuit.size()) {
            best = trial;
        }
    } while (std::next_permutation(order.begin(), order.end()));
    return best;
}

/* Keeps only gates that an output needs, renumbered in order. */
Result pruned(const Result& r)
{
    std::vector<bool> used(r.circuit.size(), false);
    for (int o : r.outputs) {
        used[o] = true;
    }
    for (int i = static_cast<int>(r.circuit.size()) - 1; i >= 0; --i) {
        if (!used[i] || r.circuit[i].op == Op::Input) {
            continue;
        }
        used[r.circuit[i].a] = true;
        if (r.circuit[i].b >= 0) {
            used[r.circuit[i].b] = true;
        }
    }
    std::vector<int> index(r.circuit.size(), -1);
    Result out{};
    for (std::size_t i = 0; i < r.circuit.size(); ++i) {
        if (!used[i] && r.circuit[i].op != Op::Input) {
            continue;
        }
        Gate g = r.circuit[i];
        if (g.op != Op::Input) {
            g.a = index[g.a];
            if (g.b >= 0) {
                g.b = index[g.b];
            }
        }
        index[i] = static_cast<int>(out.circuit.size());
        out.circuit.push_back(g);
    }
    for (int k = 0; k < 4; ++k) {
        out.outputs[k] = index[r.outputs[k]];
    }
    return out;
}

std::string name(const Circuit& c, int i)
{
    return c[i].op == Op::Input ? "b" + std::to_string(c[i].a) : "t" + std::to_string(i);
}

int gate_count(const Circuit& c)
{
    return static_cast<int>(std::count_if(c.begin(), c.end(), [](const Gate& g) { return g.op != Op::Input; }));
}

void print(int box, const Result& r)
{
    const Circuit& c = r.circuit;
    std::printf("\n/* S%d: %d gates. */\ntemplate <typename Word>\n", box + 1, gate_count(c));
    std::printf("inline void sbox%d(Word b0, Word b1, Word b2, Word b3, Word b4, Word b5, Word* out)\n{\n", box + 1);
    for (std::size_t i = 0; i < c.size(); ++i) {
        const Gate& g = c[i];
        const std::string t = name(c, static_cast<int>(i));
        const std::string a = g.op == Op::Input ? "" : name(c, g.a);
        const std::string b = g.b >= 0 ? name(c, g.b) : "";
        switch (g.op) {
        case Op::Input:
            break;
        case Op::And:
            std::printf("    const Word %s = %s & %s;\n", t.c_str(), a.c_str(), b.c_str());
            break;
        case Op::Or:
            std::printf("    const Word %s = %s | %s;\n", t.c_str(), a.c_str(), b.c_str());
            break;
        case Op::Xor:
            std::printf("    const Word %s = %s ^ %s;\n", t.c_str(), a.c_str(), b.c_str());
            break;
        case Op::AndNot:
            std::printf("    const Word %s = %s & ~%s;\n", t.c_str(), a.c_str(), b.c_str());
            break;
        case Op::Not:
            std::printf("    const Word %s = ~%s;\n", t.c_str(), a.c_str());
            break;
        }
    }
    for (int k = 0; k < 4; ++k) {
        std::printf("    out[%d] = %s;\n", k, name(c, r.outputs[k]).c_str());
    }
    std::printf("}\n");
}

}  // namespace

int main()
{
    std::printf("/* Generated by tools/sbox-circuits/derive_sbox_circuits.cpp; do not edit. */\n");
    std::printf("#ifndef OZU_DES_SBOX_CIRCUITS_H\n#define OZU_DES_SBOX_CIRCUITS_H\n");
    std::printf(
        "\n/* S-box n of the cipher as a circuit over bit-slice words: b0..b5 are the six input bits in\n"
        " * the order the table reads them (row b0 b5, column b1 b2 b3 b4), out[0..3] the output nibble,\n"
        " * most significant bit first. */\n"
        "\nnamespace ozu::des {\n");
    int total = 0;
    for (int box = 0; box < 8; ++box) {
        const Result r = pruned(derive_box(box));
        total += gate_count(r.circuit);
        std::fprintf(stderr, "S%d: %d gates\n", box + 1, gate_count(r.circuit));
        print(box, r);
    }
    std::fprintf(stderr, "total %d gates\n", total);
    std::printf("\n}  // namespace ozu::des\n\n#endif\n");
}
