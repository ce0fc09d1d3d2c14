// Magnitude spectra for the signal tests: a Blackman-Harris window (side lobes
// below -92 dB, main lobe four bins either side) and a radix-2 FFT in double.
#pragma once
#include <cmath>
#include <complex>
#include <cstddef>
#include <utility>
#include <vector>

// Magnitudes of bins 0..n/2 of `samples` (n a power of two), scaled so that a
// full-scale sine centred on a bin reads 1.
inline std::vector<double> magnitudeSpectrum(const std::vector<float>& samples) {
    const size_t n = samples.size();
    std::vector<std::complex<double>> x(n);
    double windowSum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double p = 2 * M_PI * double(i) / double(n);
        const double w = 0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
        x[i] = samples[i] * w;
        windowSum += w;
    }
    for (size_t i = 1, j = 0; i < n; ++i) {  // bit-reversed order
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * M_PI / double(len));
        for (size_t start = 0; start < n; start += len) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                const std::complex<double> a = x[start + k], b = x[start + k + len / 2] * w;
                x[start + k] = a + b;
                x[start + k + len / 2] = a - b;
            }
        }
    }
    std::vector<double> magnitude(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k) magnitude[k] = 2 * std::abs(x[k]) / windowSum;
    return magnitude;
}

inline double decibels(double ratio) { return 20 * std::log10(ratio); }
