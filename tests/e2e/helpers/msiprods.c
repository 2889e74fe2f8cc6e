/*
 * msiprods: lists the products that Windows Installer reports installed,
 * one a line: product code, a TAB, the product name, a TAB, the version
 * string. The tests read it to see what a run installed or removed.
 *
 * msi.dll is loaded at run time, so this helper links nothing more than the
 * other helpers do. Exit code 0, or 2 when msi.dll cannot be used.
 */
#include <windows.h>

#include <stdio.h>

typedef UINT(WINAPI *EnumProductsFn)(DWORD, LPSTR);
typedef UINT(WINAPI *GetProductInfoFn)(LPCSTR, LPCSTR, LPSTR, LPDWORD);

static void Info(GetProductInfoFn get, const char *code, const char *property, char *buf,
                 DWORD size) {
  DWORD n = size;
  buf[0] = 0;
  if (get(code, property, buf, &n) != ERROR_SUCCESS) buf[0] = 0;
}

int main(void) {
  HMODULE msi = LoadLibraryA("msi.dll");
  EnumProductsFn enumProducts;
  GetProductInfoFn getInfo;
  char code[39], name[1024], version[128];
  DWORD i;
  if (!msi) return 2;
  enumProducts = (EnumProductsFn)(void *)GetProcAddress(msi, "MsiEnumProductsA");
  getInfo = (GetProductInfoFn)(void *)GetProcAddress(msi, "MsiGetProductInfoA");
  if (!enumProducts || !getInfo) return 2;
  for (i = 0; enumProducts(i, code) == ERROR_SUCCESS; ++i) {
    Info(getInfo, code, "ProductName", name, sizeof name);
    Info(getInfo, code, "VersionString", version, sizeof version);
    printf("%s\t%s\t%s\n", code, name, version);
  }
  fflush(stdout);
  return 0;
}
