#pragma once

// Small linear least-squares library in the classic normal-equation style. Arrays are 0-based;
// matrices are single blocks (row pointer table followed by the rows), so every fit costs one
// allocation per matrix.

/// Prints "NR ERR: <text>" to standard output.
void nrerror(const char* text);

/// n zero-filled doubles, or null after printing "allocation failure in vector()".
double* nr_vector(int n);
/// n zero-filled ints, or null after printing "allocation failure in nr_ivector()".
int* nr_ivector(int n);
/// rows x cols zero-filled doubles in one block, or null ("allocation failure in matrix()").
double** nr_matrix(int rows, int cols);
/// rows x cols zero-filled ints in one block, or null ("allocation failure in imatrix()").
int** imatrix(int rows, int cols);
void free_nr_vector(double* v);
void free_nr_ivector(int* v);
void free_nr_matrix(double** m);
void free_nr_imatrix(int** m);

/// Basis 1, x, x^2, ..., x^(m-1) into p.
void Polynomial(double* p, int m, double x);
/// Basis 1, sqrt(x), x into p.
void funky(double* p, double x);

/**
 * Gauss-Jordan elimination with full pivoting: a (n x n) becomes its inverse and b (n x m) the
 * solution of a X = b.
 * @return 0 on success, 1 when work space cannot be allocated, 2 or 3 for a singular matrix
 */
int gaussj(double** a, int n, double** b, int m);

/**
 * Linear least squares of y against the m basis functions funcs; sig may be null (unweighted).
 * covar is an m x m matrix that receives the inverse normal matrix.
 * @return 0 on success, -1 when the normal equations are singular (a is then unchanged)
 */
int lfit(const double* x, const double* y, const double* sig, int n, double* a, int m,
         double** covar, double* chisq, void (*funcs)(double x, double* p, int m));

/**
 * Polynomial fit of the given degree into a (degree + 1 coefficients, lowest power first); a
 * negative degree fits the basis 1, sqrt(x), x instead (3 coefficients).
 * @return 0 on success, -1 on failure
 */
int PolyFit(const double* x, const double* y, int n, int degree, double* a, double* chisq);

/// sqrt((SS - chisq) / SS) over the first n mod 65536 values; 1.0 when there is no spread.
double CorrelationCoefficient(const double* y, int n, double chisq);
/// Mean of the first n mod 65536 values.
double fMean(const double* v, int n);

namespace nr {

/**
 * The tolerant comparison used for stored values: values of different classes (NaN, infinite,
 * zero, normal, subnormal) differ; two zeros are equal; otherwise |a - b| <= min(|a|,|b|) * relTol.
 * NaNs and infinities are therefore never almost equal.
 */
bool isAlmostEqual(double a, double b, double relTol);

}  // namespace nr
