#ifndef EXAMPLES_MODAL_CONVERGENCEPLOT_H
#define EXAMPLES_MODAL_CONVERGENCEPLOT_H
// The convergence history of a LOBPCG solve as an SVG drawing: each wanted
// mode's relative residual (log10 axis) against the iteration, one line per
// mode up to the iteration that locks it, and the tolerance as a dashed line.
#include <string>
#include <utility>
#include <vector>

namespace zylmodal {

class ConvergencePlot {
public:
    // The shape of LobpcgOptions::history: residuals[j] belongs to mode first + j.
    void Add(int iteration, int first, const std::vector<double>& residuals);

    // False when the file cannot be written.
    bool Write(const std::string& path, const std::string& title, double tolerance) const;

private:
    // Per mode (from 0), its (iteration, residual) points in the order recorded.
    std::vector<std::vector<std::pair<int, double>>> m_modes;
};

} // namespace zylmodal

#endif
