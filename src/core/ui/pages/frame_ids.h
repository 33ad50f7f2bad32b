/* Identifiers every settings page shares: the banner, the commands of the banner and the
 * context menu, the change-notice command and the About box. Plain preprocessor definitions,
 * so that the resource scripts read them too. */
#ifndef MW_CORE_UI_PAGES_FRAME_IDS_H
#define MW_CORE_UI_PAGES_FRAME_IDS_H

/* The banner across the top of every page dialog and of the About box. */
#define MW_IDC_BANNER 2

/* The command under which a page registers its window with the filter: a WM_COMMAND with
 * this identifier is the filter's change notice (code 100 after a preset or a load). */
#define MW_CMD_CHANGE_NOTICE 32700
#define MW_NOTICE_RELOADED 100

/* Context menu and banner commands: preset i (counted from 1) is 40499 + i. */
#define MW_CMD_PRESET_FIRST 40500
#define MW_CMD_PRESET_LAST 40999
#define MW_CMD_HELP 41000
#define MW_CMD_ABOUT 41001

/* The About box and its controls. */
#define MW_IDD_ABOUT 710
#define MW_IDC_ABOUT_PRODUCT 711
#define MW_IDC_ABOUT_VERSION 712
#define MW_IDC_ABOUT_LEGAL1 713
#define MW_IDC_ABOUT_LEGAL2 714
#define MW_IDC_ABOUT_LINK 715

#endif
