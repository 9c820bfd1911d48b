CREATE TABLE a (x VARCHAR(1) DEFAULT ';');
CREATE SEQUENCE s; -- end
/* open comment :x ;