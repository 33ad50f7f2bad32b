/* Identifiers shared by the resource scripts and the code that loads the resources. Plain
 * preprocessor definitions, so that the resource compiler reads them too. */
#ifndef MW_WIN_UI_RESOURCE_IDS_H
#define MW_WIN_UI_RESOURCE_IDS_H

/* The UI texts (identifiers 1000 to 1186 and 4000 to 4306) are stored as string resources at
 * their identifier plus this base, so that they never meet the page titles, which are string
 * resources at 1000, 2000, ... 6000. */
#define MW_UI_STRING_RESOURCE_BASE 20000

#endif
