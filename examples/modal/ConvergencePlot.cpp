#include "ConvergencePlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zylmodal {

namespace {

const char* const kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};
// The plot area in pixels; the legend runs down its right-hand side.
const double kLeft = 70.0, kTop = 40.0, kWidth = 520.0, kHeight = 360.0, kLegendRow = 16.0;

// 1, 2 or 5 times a power of ten: at most 8 steps from 0 to last.
int TickStep(int last)
{
    for (int power = 1;; power *= 10)
        for (int multiple : {1, 2, 5})
            if (last / (multiple * power) <= 8)
                return multiple * power;
}

void Line(FILE* f, double x1, double y1, double x2, double y2, const char* style)
{
    std::fprintf(f, "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" %s/>\n", x1, y1, x2, y2, style);
}

void Text(FILE* f, double x, double y, const char* placement, const std::string& text)
{
    std::fprintf(f, "<text x=\"%.2f\" y=\"%.2f\" %s>%s</text>\n", x, y, placement, text.c_str());
}

} // namespace

void ConvergencePlot::Add(int iteration, int first, const std::vector<double>& residuals)
{
    m_modes.resize(std::max(m_modes.size(), first + residuals.size()));
    for (std::size_t j = 0; j < residuals.size(); ++j)
        m_modes[first + j].emplace_back(iteration, residuals[j]);
}

bool ConvergencePlot::Write(const std::string& path, const std::string& title, double tolerance) const
{
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr)
        return false;
    int last = 1;
    double largest = 1.0, smallest = tolerance;
    for (const auto& mode : m_modes)
        for (const auto& [iteration, residual] : mode) {
            last = std::max(last, iteration);
            largest = std::max(largest, residual);
            smallest = residual > 0.0 ? std::min(smallest, residual) : smallest;
        }
    // Decades from 1e0 (or above the largest residual) to strictly below the
    // tolerance, and a few more for residuals that dropped further.
    const double top = std::ceil(std::log10(largest));
    const double below = std::floor(std::log10(tolerance) - 1e-9);
    const double bottom = std::max(std::min(below, std::floor(std::log10(smallest))), below - 4.0);
    const auto x = [&](double iteration) { return kLeft + kWidth * iteration / last; };
    const auto yOfDecade = [&](double decade) { return kTop + kHeight * (top - decade) / (top - bottom); };
    const auto y = [&](double residual) {
        return yOfDecade(residual > 0.0 ? std::clamp(std::log10(residual), bottom, top) : bottom);
    };
    const double height = std::max(kTop + kHeight + 50.0, kTop + kLegendRow * (m_modes.size() + 2));
    std::fprintf(f, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                    "font-family=\"sans-serif\" font-size=\"12\">\n", kLeft + kWidth + 100.0, height);
    std::fprintf(f, "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n");
    Text(f, kLeft + kWidth / 2, 22, "text-anchor=\"middle\" font-size=\"14\"", title);
    for (double decade = top; decade >= bottom; --decade) {
        Line(f, kLeft, yOfDecade(decade), kLeft + kWidth, yOfDecade(decade), "stroke=\"#ddd\"");
        Text(f, kLeft - 6, yOfDecade(decade), "text-anchor=\"end\" dominant-baseline=\"middle\"",
             "1e" + std::to_string(static_cast<int>(decade)));
    }
    const double axis = kTop + kHeight;
    for (int i = 0, step = TickStep(last); i <= last; i += step) {
        Line(f, x(i), axis, x(i), axis + 5, "stroke=\"black\"");
        Text(f, x(i), axis + 18, "text-anchor=\"middle\"", std::to_string(i));
    }
    std::fprintf(f, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" stroke=\"black\"/>\n",
                 kLeft, kTop, kWidth, kHeight);
    Text(f, kLeft + kWidth / 2, axis + 38, "text-anchor=\"middle\"", "iteration");
    Text(f, -(kTop + kHeight / 2), 16, "transform=\"rotate(-90)\" text-anchor=\"middle\"", "relative residual");
    const char* const dashed = "stroke=\"black\" stroke-dasharray=\"6 4\"";
    const double legend = kLeft + kWidth + 14;
    Line(f, kLeft, y(tolerance), kLeft + kWidth, y(tolerance), dashed);
    Line(f, legend, kTop + 6, legend + 20, kTop + 6, dashed);
    Text(f, legend + 26, kTop + 6, "dominant-baseline=\"middle\"", "tolerance");
    for (std::size_t m = 0; m < m_modes.size(); ++m) {
        const std::string colour = kPalette[m % (sizeof kPalette / sizeof kPalette[0])];
        std::fprintf(f, "<polyline fill=\"none\" stroke=\"%s\" stroke-width=\"1.5\" points=\"", colour.c_str());
        for (const auto& [iteration, residual] : m_modes[m])
            std::fprintf(f, " %.2f,%.2f", x(iteration), y(residual));
        std::fprintf(f, "\"/>\n");
        const double row = kTop + 6 + kLegendRow * (m + 1);
        Line(f, legend, row, legend + 20, row, ("stroke=\"" + colour + "\" stroke-width=\"2\"").c_str());
        Text(f, legend + 26, row, "dominant-baseline=\"middle\"", "mode " + std::to_string(m + 1));
    }
    std::fprintf(f, "</svg>\n");
    const bool written = std::ferror(f) == 0;
    return std::fclose(f) == 0 && written;
}

} // namespace zylmodal
