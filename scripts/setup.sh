#!/usr/bin/env bash
# Installs whatever this project needs and the machine lacks: Debian packages for the C++ build,
# pip packages for the Python side. Quick and silent when everything is already there.
set -euo pipefail

APT_PACKAGES=(
  g++ git tzdata
  qt6-base-dev qt6-5compat-dev
  libfmt-dev libboost-dev
  swig python3-dev libgtest-dev clang-format
  # the quick-look page's browser tests drive Debian's own headless browser
  chromium chromium-driver
)
PIP_PACKAGES=("scikit-build-core>=0.10" "pytest>=7" "ruff==0.17.6" "numpy>=1.22" "mypy>=1.8"
  # the package's "analysis" extra: data frames and plots of the spectra
  "pandas>=1.5" "pyarrow>=10" "matplotlib>=3.5" "tqdm>=4" "dask[distributed]>=2023.1"
  "scipy>=1.8" "xarray>=2023.1"
  # the "ms" extra: mzML written by psims, read back by pyteomics
  "psims>=1.3" "pyteomics>=4.6" "lxml>=4.9"
  # the tests read the mzML back with a second, independent reader too
  "pyopenms>=3.0" "zarr>=2.16"
  # the "web" extra: the quick-look server, its chart library, and the browser tests' driver
  "starlette>=0.37" "uvicorn>=0.29" "httpx>=0.27" "plotly>=5.18" "selenium>=4.15"
  # the "docs" extra: the documentation site and its executed tutorials
  "sphinx>=7" "pydata-sphinx-theme>=0.15" "numpydoc>=1.6" "myst-nb>=1.0" "jupytext>=1.16"
  "ipykernel>=6")
PYTHON=${PYTHON:-python3}

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; elif command -v sudo >/dev/null; then sudo "$@"; else
    echo "setup: need root to run: $*" >&2
    exit 1
  fi
}

missing=()
for p in "${APT_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# cmake and ninja come from pip when the system has none recent enough.
need_pip=()
if ! command -v cmake >/dev/null ||
  ! cmake --version | awk 'NR==1 { split($3, v, "."); exit !(v[1] > 3 || (v[1] == 3 && v[2] >= 21)) }'; then
  need_pip+=("cmake>=3.21")
fi
command -v ninja >/dev/null || need_pip+=("ninja")
"$PYTHON" - <<'PY' || need_pip+=("${PIP_PACKAGES[@]}")
import importlib.util, shutil, subprocess, sys
ok = all(importlib.util.find_spec(m) for m in (
    "scikit_build_core", "pytest", "numpy", "mypy",
    "pandas", "pyarrow", "matplotlib", "tqdm", "dask", "distributed", "scipy", "xarray",
    "psims", "pyteomics", "lxml", "pyopenms", "zarr",
    "starlette", "uvicorn", "httpx", "plotly", "selenium",
    "sphinx", "pydata_sphinx_theme", "numpydoc", "myst_nb", "jupytext", "ipykernel"))
ruff = shutil.which("ruff")
ok = ok and ruff and subprocess.run([ruff, "--version"], capture_output=True, text=True).stdout.split()[-1] == "0.17.6"
sys.exit(0 if ok else 1)
PY
if [ ${#need_pip[@]} -gt 0 ]; then
  echo "setup: pip installing ${need_pip[*]}"
  "$PYTHON" -m pip install -q --disable-pip-version-check --root-user-action=ignore "${need_pip[@]}"
  command -v pyenv >/dev/null && pyenv rehash || true
fi
