/* The Time Stretch page: its dialog template, title string and controls. Plain preprocessor
 * definitions, shared by the resource script and the page's binding table. */
#ifndef MW_CORE_EFFECTS_STRETCH_STRETCH_PAGE_IDS_H
#define MW_CORE_EFFECTS_STRETCH_STRETCH_PAGE_IDS_H

#define MW_IDD_TIME_STRETCH 1001
#define MW_IDS_TIME_STRETCH_TITLE 1000

#define MW_TS_FINAL_LABEL 1002
#define MW_TS_FINAL_TRACKBAR 1003
#define MW_TS_MODE_LIST 1004
#define MW_TS_FINAL_EDIT 1007
#define MW_TS_INITIAL_EDIT 1008
#define MW_TS_FORMAT_LIST 1015
#define MW_TS_INITIAL_LABEL 1016
#define MW_TS_PERCENT_LABEL 1017
#define MW_TS_PERCENT_TEXT 1018
#define MW_TS_FORMAT_LABEL 1019
#define MW_TS_MODE_LABEL 1022

#endif
