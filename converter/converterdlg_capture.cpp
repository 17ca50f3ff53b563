// The converter window's capture commands: one step of a conversion run on timer 1 and the
// exports of the context menu. The capture code takes them over; until then they do nothing,
// so a started conversion only disables nothing and waits.
#include "converter/converterdlg.h"

void CConverterDlg::ConversionStep() {}
void CConverterDlg::OnExportSingle() {}
void CConverterDlg::OnExportBmp() {}
void CConverterDlg::OnExportTga() {}
