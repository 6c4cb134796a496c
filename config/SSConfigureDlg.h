#pragma once
#include "res/resource.h"
#include "ui/CAxDialogImpl.h"

// The configuration dialog.
class SSConfigureDlg : public CAxDialogImpl<SSConfigureDlg> {
public:
    enum { IDD = IDD_CONFIGURE };

    BEGIN_MSG_MAP(SSConfigureDlg)
        COMMAND_HANDLER(IDOK, BN_CLICKED, OnClose)
        COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnClose)
    END_MSG_MAP()

private:
    LRESULT OnClose(WORD, WORD wID, HWND, BOOL&)
    {
        EndDialog(wID);
        return 0;
    }
};
