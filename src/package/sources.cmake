# Sources of this folder are added to kyrcore here.
