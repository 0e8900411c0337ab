#pragma once
// FITS files written with cfitsio for the tests and the fuzz seeds.
#include <fitsio.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::test {

/// Writes an image of width x height (x planes) with cfitsio: `bitpix` as
/// stored, the physical values given (row 1 of the file first), optional
/// BZERO/BSCALE and ROWORDER.
inline void WriteFits(const std::string& path, int bitpix, int width, int height, int planes,
               const std::vector<double>& values, double bzero = 0, double bscale = 1, const char* rowOrder = nullptr) {
  fitsfile* f = nullptr;
  int status = 0;
  std::remove(path.c_str());
  fits_create_diskfile(&f, path.c_str(), &status);
  long axes[3] = {width, height, planes};
  fits_create_img(f, bitpix, planes > 1 ? 3 : 2, axes, &status);
  if (bzero != 0 || bscale != 1) {
    fits_write_key(f, TDOUBLE, "BZERO", &bzero, nullptr, &status);
    fits_write_key(f, TDOUBLE, "BSCALE", &bscale, nullptr, &status);
    fits_set_bscale(f, bscale, bzero, &status);
  }
  if (rowOrder != nullptr) fits_write_key(f, TSTRING, "ROWORDER", const_cast<char*>(rowOrder), nullptr, &status);
  std::vector<double> v = values;
  fits_write_img(f, TDOUBLE, 1, static_cast<LONGLONG>(v.size()), v.data(), &status);
  fits_close_file(f, &status);
  if (status != 0) throw std::runtime_error("cannot write " + path);
}

}  // namespace corvane::test
