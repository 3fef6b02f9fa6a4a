/* The setup dialog's template name and control numbers, shared by the
   resource script (bvunpack.rc) and the code: plain defines, since the
   resource compiler reads this file too. */
#ifndef INSTALLER_DIALOG_CONTROLS_H
#define INSTALLER_DIALOG_CONTROLS_H

#define SETUP_DIALOG "DIALOG_1"

#define IDC_DEST_EDIT 1   /* the destination field */
#define IDC_DIR_LIST 2    /* drives and directories to browse */
#define IDC_ABORT 3
#define IDC_NEXT 4
#define IDC_STATUS1 5     /* status lines 1 to 3, shown during the extraction */
#define IDC_STATUS2 6
#define IDC_STATUS3 7

#endif
