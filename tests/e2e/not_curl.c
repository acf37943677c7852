/* Stands in for libcurl in the end-to-end run that hides it: a library found under libcurl's
   names that offers none of its functions, as a broken or foreign install would. */
int zintarel_not_curl;
