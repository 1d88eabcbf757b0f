#include <gselib/polyfit.h>
#include <tools/logger/diagnostics.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

void nrerror(const char* text) {
    GseLib::Diagnostics::report(GseLib::Diagnostics::Kind::Fit, std::string("NR ERR: ") + text,
                                GseLib::Diagnostics::Stream::Output);
}

double* nr_vector(int n) {
    auto* v =
        static_cast<double*>(std::calloc(static_cast<size_t>(std::max(n, 1)), sizeof(double)));
    if (!v) {
        nrerror("allocation failure in vector()");
    }
    return v;
}

int* nr_ivector(int n) {
    auto* v = static_cast<int*>(std::calloc(static_cast<size_t>(std::max(n, 1)), sizeof(int)));
    if (!v) {
        nrerror("allocation failure in nr_ivector()");
    }
    return v;
}

namespace {

template <typename T>
T** blockMatrix(int rows, int cols) {
    const size_t r = static_cast<size_t>(std::max(rows, 1));
    const size_t c = static_cast<size_t>(std::max(cols, 1));
    // Row pointers first, then the rows; T is double or int, both aligned at pointer size.
    void* block = std::calloc(1, r * sizeof(T*) + r * c * sizeof(T));
    if (!block) {
        return nullptr;
    }
    T** m = static_cast<T**>(block);
    T* data = reinterpret_cast<T*>(m + r);
    for (size_t i = 0; i < r; ++i) {
        m[i] = data + i * c;
    }
    return m;
}

}  // namespace

double** nr_matrix(int rows, int cols) {
    double** m = blockMatrix<double>(rows, cols);
    if (!m) {
        nrerror("allocation failure in matrix()");
    }
    return m;
}

int** imatrix(int rows, int cols) {
    int** m = blockMatrix<int>(rows, cols);
    if (!m) {
        nrerror("allocation failure in imatrix()");
    }
    return m;
}

void free_nr_vector(double* v) {
    std::free(v);
}
void free_nr_ivector(int* v) {
    std::free(v);
}
void free_nr_matrix(double** m) {
    std::free(m);
}
void free_nr_imatrix(int** m) {
    std::free(m);
}

void Polynomial(double* p, int m, double x) {
    if (m <= 0) {
        return;
    }
    p[0] = 1.0;
    for (int j = 1; j < m; ++j) {
        p[j] = p[j - 1] * x;
    }
}

void funky(double* p, double x) {
    p[0] = 1.0;
    p[1] = std::sqrt(x);
    p[2] = x;
}

int gaussj(double** a, int n, double** b, int m) {
    int* indxc = nr_ivector(n);
    int* indxr = nr_ivector(n);
    int* ipiv = nr_ivector(n);
    if (!indxc || !indxr || !ipiv) {
        free_nr_ivector(ipiv);
        free_nr_ivector(indxr);
        free_nr_ivector(indxc);
        return 1;
    }
    int result = 0;
    int irow = 0;
    int icol = 0;
    for (int i = 0; i < n && result == 0; ++i) {
        double big = 0.0;
        for (int j = 0; j < n && result == 0; ++j) {
            if (ipiv[j] == 1) {
                continue;
            }
            for (int k = 0; k < n; ++k) {
                if (ipiv[k] == 0) {
                    // A later element of equal magnitude wins the pivot.
                    if (std::fabs(a[j][k]) >= big) {
                        big = std::fabs(a[j][k]);
                        irow = j;
                        icol = k;
                    }
                } else if (ipiv[k] > 1) {
                    nrerror("GAUSSJ: Singular Matrix-1");
                    result = 2;
                    break;
                }
            }
        }
        if (result != 0) {
            break;
        }
        ++ipiv[icol];
        if (irow != icol) {
            for (int l = 0; l < n; ++l) {
                std::swap(a[irow][l], a[icol][l]);
            }
            for (int l = 0; l < m; ++l) {
                std::swap(b[irow][l], b[icol][l]);
            }
        }
        indxr[i] = irow;
        indxc[i] = icol;
        if (a[icol][icol] == 0.0) {
            nrerror("GAUSSJ: Singular Matrix-2");
            result = 3;
            break;
        }
        const double pivinv = 1.0 / a[icol][icol];
        a[icol][icol] = 1.0;
        for (int l = 0; l < n; ++l) {
            a[icol][l] *= pivinv;
        }
        for (int l = 0; l < m; ++l) {
            b[icol][l] *= pivinv;
        }
        for (int ll = 0; ll < n; ++ll) {
            if (ll == icol) {
                continue;
            }
            const double dum = a[ll][icol];
            a[ll][icol] = 0.0;
            for (int l = 0; l < n; ++l) {
                a[ll][l] -= a[icol][l] * dum;
            }
            for (int l = 0; l < m; ++l) {
                b[ll][l] -= b[icol][l] * dum;
            }
        }
    }
    if (result == 0) {
        for (int l = n - 1; l >= 0; --l) {
            if (indxr[l] != indxc[l]) {
                for (int k = 0; k < n; ++k) {
                    std::swap(a[k][indxr[l]], a[k][indxc[l]]);
                }
            }
        }
    }
    free_nr_ivector(ipiv);
    free_nr_ivector(indxr);
    free_nr_ivector(indxc);
    return result;
}

namespace {

// The normal-equation fit behind lfit, with the basis given as any callable p <- basis(x).
template <typename Basis>
int normalFit(const double* x, const double* y, const double* sig, int n, double* a, int m,
              double** covar, double* chisq, Basis basis) {
    if (chisq) {
        *chisq = 0.0;
    }
    if (m <= 0) {
        return -1;
    }
    double** beta = nr_matrix(m, 1);
    double* p = nr_vector(m);
    if (!beta || !p) {
        free_nr_vector(p);
        free_nr_matrix(beta);
        return -1;
    }
    for (int j = 0; j < m; ++j) {
        for (int k = 0; k < m; ++k) {
            covar[j][k] = 0.0;
        }
    }
    for (int i = 0; i < n; ++i) {
        basis(x[i], p);
        const double w = sig ? 1.0 / (sig[i] * sig[i]) : 1.0;
        for (int j = 0; j < m; ++j) {
            const double wt = p[j] * w;
            for (int k = 0; k <= j; ++k) {
                covar[j][k] += wt * p[k];
            }
            beta[j][0] += y[i] * wt;
        }
    }
    for (int j = 1; j < m; ++j) {
        for (int k = 0; k < j; ++k) {
            covar[k][j] = covar[j][k];
        }
    }
    if (gaussj(covar, m, beta, 1) != 0) {
        free_nr_vector(p);
        free_nr_matrix(beta);
        return -1;
    }
    for (int j = 0; j < m; ++j) {
        a[j] = beta[j][0];
    }
    if (chisq) {
        double sum = 0.0;
        for (int i = 0; i < n; ++i) {
            basis(x[i], p);
            double model = 0.0;
            for (int j = 0; j < m; ++j) {
                model += a[j] * p[j];
            }
            double r = y[i] - model;
            if (sig) {
                r /= sig[i];
            }
            sum += r * r;
        }
        *chisq = sum;
    }
    free_nr_vector(p);
    free_nr_matrix(beta);
    return 0;
}

}  // namespace

int lfit(const double* x, const double* y, const double* sig, int n, double* a, int m,
         double** covar, double* chisq, void (*funcs)(double x, double* p, int m)) {
    return normalFit(x, y, sig, n, a, m, covar, chisq,
                     [funcs, m](double xi, double* p) { funcs(xi, p, m); });
}

int PolyFit(const double* x, const double* y, int n, int degree, double* a, double* chisq) {
    const int m = degree >= 0 ? degree + 1 : 3;
    double** covar = nr_matrix(m, m);
    if (!covar) {
        return -1;
    }
    int result;
    if (degree >= 0) {
        // lfit takes its basis as (x, p, m); Polynomial keeps its own (p, m, x) order.
        result = lfit(x, y, nullptr, n, a, m, covar, chisq,
                      [](double xi, double* p, int terms) { Polynomial(p, terms, xi); });
    } else {
        result = normalFit(x, y, nullptr, n, a, m, covar, chisq,
                           [](double xi, double* p) { funky(p, xi); });
    }
    free_nr_matrix(covar);
    return result;
}

double CorrelationCoefficient(const double* y, int n, double chisq) {
    const int count = static_cast<int>(static_cast<unsigned>(n) % 65536u);
    if (count == 0) {
        return 1.0;
    }
    const double mean = fMean(y, count);
    double ss = 0.0;
    for (int i = 0; i < count; ++i) {
        const double d = y[i] - mean;
        ss += d * d;
    }
    if (ss == 0.0) {
        return 1.0;
    }
    return std::sqrt((ss - chisq) / ss);
}

double fMean(const double* v, int n) {
    const int count = static_cast<int>(static_cast<unsigned>(n) % 65536u);
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
        sum += v[i];
    }
    return sum / count;
}

namespace nr {

bool isAlmostEqual(double a, double b, double relTol) {
    const int ca = std::fpclassify(a);
    const int cb = std::fpclassify(b);
    if (ca != cb) {
        return false;
    }
    if (ca == FP_ZERO) {
        return true;
    }
    if (ca == FP_NAN || ca == FP_INFINITE) {
        return false;
    }
    return std::fabs(a - b) <= std::min(std::fabs(a), std::fabs(b)) * relTol;
}

}  // namespace nr
