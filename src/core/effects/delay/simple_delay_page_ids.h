/* The Simple Delay page: its dialog template, title string and controls. Plain preprocessor
 * definitions, shared by the resource script and the page's binding table. */
#ifndef MW_CORE_EFFECTS_DELAY_SIMPLE_DELAY_PAGE_IDS_H
#define MW_CORE_EFFECTS_DELAY_SIMPLE_DELAY_PAGE_IDS_H

#define MW_IDD_SIMPLE_DELAY 3001
#define MW_IDS_SIMPLE_DELAY_TITLE 3000

#define MW_SD_DRY_TEXT 3008
#define MW_SD_DRY_FADER 3009
#define MW_SD_DELAY_OUT_TEXT 3010
#define MW_SD_DELAY_OUT_FADER 3011
#define MW_SD_FEEDBACK_CHECK 3012
#define MW_SD_DELAY_TIME_EDIT 3014
#define MW_SD_DECAY_TIME_EDIT 3015
#define MW_SD_DELAY_TIME_TRACKBAR 3016
#define MW_SD_DECAY_TIME_TRACKBAR 3017
#define MW_SD_DECAY_TIME_LABEL 3018
#define MW_SD_DRY_LABEL 3019
#define MW_SD_DELAY_OUT_LABEL 3020
#define MW_SD_DELAY_TIME_LABEL 3021

#endif
